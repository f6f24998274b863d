' server_bench.vbs - the variant collection server against Scripting.Dictionary,
' the peer a script user would pick instead, on the same work in the same
' process, timed with Timer. Run by cscript under Wine (scripts/bench):
'
'   cscript //nologo server_bench.vbs [--quick] [n...]
'
' Sizes: 1,000, 10,000 and 100,000 for both, and 1,000,000 for XCollection
' alone; --quick: 1,000 only, briefly. Prints one line per figure, which
' bench/report.py reads, and "server_bench: done" last:
'
'   BENCH table=script case=keyed_add library=XCollection n=1000 ops=200000 seconds=1.2
'   BENCH table=share case=keyed_add library=XCollection n=1000 unit=ns/op value=350
'
' Cases, over n members with the keys "key1" to "key<n>" and the numbers 1
' to n as values, keys built in the loop as a script builds them:
'
'   keyed_add          c.Add i, "key" & i        d.Add "key" & i, i
'   keyed_item         v = c("key" & i)          v = d("key" & i)
'   for_each           For Each v In c           For Each v In d.Items
'   keyed_remove       c.Remove "key" & i        d.Remove "key" & i
'   positional_item    v = c(i)                  (XCollection only)
'   positional_remove  c.Remove 1, n times       (XCollection only)
'   exists_present     v = c.Exists("key" & i)   v = d.Exists("key" & i)
'   exists_missing     v = c.Exists("none" & i)  v = d.Exists("none" & i)
'   keys               a = c.Keys                a = d.Keys
'   items              a = c.Items               a = d.Items
'
' keys and items hand out all n members at once: an operation there is one
' member handed out (a call counts n).
'
' Both libraries walk their values with For Each (a dictionary's own For
' Each yields its keys). The keyed cases also time the bare loop that
' builds the keys (k = "key" & i); table "share" holds each keyed case's
' time per operation less the bare loop's per iteration: what the call
' costs beyond building its key, the server's share and the script
' engine's own call work together.
'
' Timer counts in steps of several milliseconds and the clock is the wall's,
' so a case runs in chunks of at least 10,000 operations (rounds over fresh
' collections at small n), the libraries taking turns chunk by chunk (and
' the bare loop with them), until each has done 200,000 operations (20,000
' with --quick) and, up to n = 100,000, at least four chunks: a change in
' the machine's load meets every library alike. A figure is the library's
' fastest chunk. Making, filling and dropping collections is not timed.
Option Explicit

Const XC = "XCollection"
Const SD = "Scripting.Dictionary"
Const LOOP_ONLY = "bare_loop"
Const DICTIONARY_LIMIT = 100000
Const CHUNK_OPS = 10000
' Up to the dictionary's largest size, every case runs at least this many
' chunks per library, so that one of them is undisturbed.
Const MIN_CHUNKS = 4

Dim quick, minOps, sizes, argument, a, n
quick = False
sizes = Array()
' By index: Wine's cscript cannot walk its arguments with For Each.
For a = 0 To WScript.Arguments.Count - 1
  argument = WScript.Arguments(a)
  If argument = "--quick" Then
    quick = True
  Else
    ReDim Preserve sizes(UBound(sizes) + 1)
    sizes(UBound(sizes)) = CLng(argument)
  End If
Next
If UBound(sizes) < 0 Then
  If quick Then sizes = Array(1000) Else sizes = Array(1000, 10000, 100000, 1000000)
End If
If quick Then minOps = 20000 Else minOps = 200000

' One filled collection per library for the cases that only read.
Dim readXC, readSD

For Each n In sizes
  RunSize CLng(n)
Next
' The closing line: a run that stopped early lacks it.
WScript.Echo "server_bench: done"

' --- Helpers -------------------------------------------------------------------

Function NewOf(library)
  If library = XC Then
    Set NewOf = CreateObject("Collection.XCollection")
  Else
    Set NewOf = CreateObject("Scripting.Dictionary")
  End If
End Function

' Seconds since start, also across midnight.
Function Since(start)
  Dim now
  now = Timer
  If now < start Then now = now + 86400
  Since = now - start
End Function

' A number as the report reads it, whatever the locale's decimal mark.
Function Plain(x)
  Plain = Replace(CStr(x), ",", ".")
End Function

' r collections of library, each filled with n members (or empty for n = 0).
' (Arrays are declared plain and then sized: Wine's VBScript fails on a
' Dim of a dynamic array inside a procedure.)
Function Filled(library, n, r)
  Dim all, j, i, c
  ReDim all(r - 1)
  For j = 0 To r - 1
    Set c = NewOf(library)
    If library = XC Then
      For i = 1 To n : c.Add i, "key" & i : Next
    Else
      For i = 1 To n : c.Add "key" & i, i : Next
    End If
    Set all(j) = c
  Next
  Filled = all
End Function

Function ReadOnly(library)
  If library = XC Then Set ReadOnly = readXC Else Set ReadOnly = readSD
End Function

' --- Chunks: each times r rounds of n operations of one library ------------------

Function BareLoop(n, r)
  Dim j, i, k, start
  start = Timer
  For j = 1 To r
    For i = 1 To n : k = "key" & i : Next
  Next
  BareLoop = Since(start)
End Function

Function KeyedAdd(library, n, r)
  Dim all, j, i, c, start
  all = Filled(library, 0, r)
  start = Timer
  If library = XC Then
    For j = 0 To r - 1
      Set c = all(j)
      For i = 1 To n : c.Add i, "key" & i : Next
    Next
  Else
    For j = 0 To r - 1
      Set c = all(j)
      For i = 1 To n : c.Add "key" & i, i : Next
    Next
  End If
  KeyedAdd = Since(start)
End Function

Function KeyedItem(library, n, r)
  Dim c, j, i, v, start
  Set c = ReadOnly(library)
  start = Timer
  For j = 1 To r
    For i = 1 To n : v = c("key" & i) : Next
  Next
  KeyedItem = Since(start)
End Function

Function ForEachMember(library, r)
  Dim c, j, v, start
  Set c = ReadOnly(library)
  start = Timer
  If library = XC Then
    For j = 1 To r
      For Each v In c : Next
    Next
  Else
    For j = 1 To r
      For Each v In c.Items : Next
    Next
  End If
  ForEachMember = Since(start)
End Function

Function KeyedRemove(library, n, r)
  Dim all, j, i, c, start
  all = Filled(library, n, r)
  start = Timer
  For j = 0 To r - 1
    Set c = all(j)
    For i = 1 To n : c.Remove "key" & i : Next
  Next
  KeyedRemove = Since(start)
End Function

Function ExistsPresent(library, n, r)
  Dim c, j, i, v, start
  Set c = ReadOnly(library)
  start = Timer
  For j = 1 To r
    For i = 1 To n : v = c.Exists("key" & i) : Next
  Next
  ExistsPresent = Since(start)
End Function

Function ExistsMissing(library, n, r)
  Dim c, j, i, v, start
  Set c = ReadOnly(library)
  start = Timer
  For j = 1 To r
    For i = 1 To n : v = c.Exists("none" & i) : Next
  Next
  ExistsMissing = Since(start)
End Function

' r calls of Keys (or Items when `values`), each handing out n members.
Function AllAtOnce(library, values, r)
  Dim c, j, a, start
  Set c = ReadOnly(library)
  start = Timer
  If values Then
    For j = 1 To r : a = c.Items : Next
  Else
    For j = 1 To r : a = c.Keys : Next
  End If
  AllAtOnce = Since(start)
End Function

Function PositionalItem(n, r)
  Dim c, j, i, v, start
  Set c = readXC
  start = Timer
  For j = 1 To r
    For i = 1 To n : v = c(i) : Next
  Next
  PositionalItem = Since(start)
End Function

Function PositionalRemove(n, r)
  Dim all, j, i, c, start
  all = Filled(XC, n, r)
  start = Timer
  For j = 0 To r - 1
    Set c = all(j)
    For i = 1 To n : c.Remove 1 : Next
  Next
  PositionalRemove = Since(start)
End Function

Function Chunk(name, library, n, r)
  If library = LOOP_ONLY Then
    Chunk = BareLoop(n, r)
    Exit Function
  End If
  Select Case name
    Case "keyed_add" : Chunk = KeyedAdd(library, n, r)
    Case "keyed_item" : Chunk = KeyedItem(library, n, r)
    Case "for_each" : Chunk = ForEachMember(library, r)
    Case "keyed_remove" : Chunk = KeyedRemove(library, n, r)
    Case "positional_item" : Chunk = PositionalItem(n, r)
    Case "positional_remove" : Chunk = PositionalRemove(n, r)
    Case "exists_present" : Chunk = ExistsPresent(library, n, r)
    Case "exists_missing" : Chunk = ExistsMissing(library, n, r)
    Case "keys" : Chunk = AllAtOnce(library, False, r)
    Case "items" : Chunk = AllAtOnce(library, True, r)
  End Select
End Function

' --- One case, one size --------------------------------------------------------

' Times case `name` for each of `libraries`, chunk by chunk in turns (in
' reverse order every other chunk), and prints the figures: each library's
' fastest chunk per operation, the chunk that the machine's other work
' disturbed least. The share is the library's fastest chunk less the bare
' loop's fastest, so that a burst of load during one chunk cannot make it
' negative or double it.
Sub RunCase(name, libraries, n)
  Dim r, chunks, best, ops, c, i, k, count, bare, took
  count = UBound(libraries) + 1
  ReDim best(count - 1)
  For i = 0 To count - 1 : best(i) = -1 : Next
  r = Int((CHUNK_OPS + n - 1) / n)
  ops = r * n
  chunks = Int((minOps + ops - 1) / ops)
  If chunks < MIN_CHUNKS And n <= DICTIONARY_LIMIT Then chunks = MIN_CHUNKS
  For c = 1 To chunks
    For k = 0 To count - 1
      If c Mod 2 = 1 Then i = k Else i = count - 1 - k
      took = Chunk(name, libraries(i), n, r)
      If best(i) < 0 Or took < best(i) Then best(i) = took
    Next
  Next
  bare = -1
  For i = 0 To count - 1
    If libraries(i) = LOOP_ONLY Then bare = best(i)
  Next
  ' The bare loop's own row in the script table, once per size.
  If bare >= 0 And name = "keyed_add" Then
    WScript.Echo "BENCH table=script case=bare_loop library=" & XC & " n=" & n & " ops=" & ops & _
      " seconds=" & Plain(bare)
  End If
  For i = 0 To count - 1
    If libraries(i) <> LOOP_ONLY Then
      WScript.Echo "BENCH table=script case=" & name & " library=" & libraries(i) & " n=" & n & _
        " ops=" & ops & " seconds=" & Plain(best(i))
    End If
    If bare >= 0 Then
      If libraries(i) = LOOP_ONLY Then
        WScript.Echo "BENCH table=share case=" & name & " library=" & libraries(i) & " n=" & n & _
          " unit=ns/op value=" & Plain(best(i) * 1e9 / ops)
      Else
        WScript.Echo "BENCH table=share case=" & name & " library=" & libraries(i) & " n=" & n & _
          " unit=ns/op value=" & Plain((best(i) - bare) * 1e9 / ops)
      End If
    End If
  Next
End Sub

Sub RunSize(n)
  Dim both, keyed, readers
  If n <= DICTIONARY_LIMIT Then
    both = Array(XC, SD)
    keyed = Array(XC, SD, LOOP_ONLY)
  Else
    both = Array(XC)
    keyed = Array(XC, LOOP_ONLY)
  End If

  RunCase "keyed_add", keyed, n
  readers = Filled(XC, n, 1)
  Set readXC = readers(0)
  If n <= DICTIONARY_LIMIT Then
    readers = Filled(SD, n, 1)
    Set readSD = readers(0)
  End If
  readers = Empty
  RunCase "keyed_item", keyed, n
  RunCase "for_each", both, n
  RunCase "positional_item", Array(XC), n
  RunCase "exists_present", keyed, n
  RunCase "exists_missing", keyed, n
  RunCase "keys", both, n
  RunCase "items", both, n
  Set readXC = Nothing
  Set readSD = Nothing
  RunCase "keyed_remove", keyed, n
  RunCase "positional_remove", Array(XC), n
End Sub
