' soak_test.vbs - collections made, filled, walked, changed while walked
' and dropped, round after round for a bounded time, as a long-running
' script uses them; every round checks its counts. The first argument is
' the time in seconds (20 by default). Run by cscript; the last line it
' prints is "N passed, N failed".
Option Explicit

Const E_FAIL = &H80004005
Const KEYS = 40

Dim seconds, passed, failed, rounds, added
seconds = 20
If WScript.Arguments.Count > 0 Then seconds = CLng(WScript.Arguments(0))
passed = 0
failed = 0
rounds = 0
added = 0

Sub Check(name, actual, expected)
  If actual = expected Then
    passed = passed + 1
  Else
    failed = failed + 1
    WScript.Echo "FAILED in round " & rounds & ": " & name & ": got " & actual & ", expected " & expected
  End If
End Sub

' Members walked with For Each.
Function Walked(c)
  Dim v, n
  n = 0
  For Each v In c
    n = n + 1
  Next
  Walked = n
End Function

' One round with size members: every odd i without a key, every even i
' under one of KEYS keys (so that later ones replace earlier ones), then
' the put accessor, removal by key and by position, a walk that adds what
' it walks, a collection inside a collection, and a caught error.
Sub Round(size)
  Dim c, i, evens, expected, r, v, n, inner, value
  Dim last(39) ' KEYS - 1
  Set c = CreateObject("Collection.XCollection")
  For i = 0 To size - 1
    If i Mod 2 = 1 Then
      c.Add i
    Else
      r = (i \ 2) Mod KEYS
      c.Add i, "k" & r
      last(r) = i
    End If
  Next
  added = added + size
  evens = (size + 1) \ 2
  If evens > KEYS Then evens = KEYS
  expected = size \ 2 + evens
  Check "count after adding", c.Count, expected
  Check "members walked", Walked(c), expected
  For r = 0 To evens - 1 Step 7
    Check "value under k" & r, c("k" & r), last(r)
  Next

  ' The put accessor adds under new keys and replaces under old ones.
  For i = 1 To 5
    c("p" & i) = -i
  Next
  c("p1") = "one"
  expected = expected + 5
  Check "count after put", c.Count, expected
  Check "replaced by put", c("p1"), "one"
  Check "a replaced member goes last", c(expected), "one"

  ' Removal by key and by position.
  For r = 0 To 4
    If r < evens Then
      c.Remove "k" & r
      expected = expected - 1
    End If
  Next
  c.Remove 1
  c.Remove c.Count
  expected = expected - 2
  Check "count after removing", c.Count, expected

  ' A walk sees the members the collection had when it began.
  n = 0
  For Each v In c
    c.Add v
    n = n + 1
  Next
  Check "members walked while adding", n, expected
  Check "count after adding while walking", c.Count, 2 * expected

  ' A collection as a member, walked from its parent.
  Set inner = CreateObject("Collection.XCollection")
  inner.Add "a"
  inner.Add "b", "b"
  c.Add inner, "inner"
  Set inner = Nothing
  Check "members of the inner collection", Walked(c("inner").Value), 2

  ' Set takes the item object itself: the error is the collection's.
  On Error Resume Next
  Set value = c(0)
  Check "error for position 0", Err.Number, E_FAIL
  Err.Clear
  Set value = c(2 * expected + 2)
  Check "error past the end", Err.Number, E_FAIL
  Err.Clear
  c.Remove "no such key"
  Check "error for a missing key", Err.Number <> 0, True
  Err.Clear
  On Error GoTo 0
  Check "count after the errors", c.Count, 2 * expected + 1

  Set c = Nothing
End Sub

Dim started, elapsed
Randomize 42
started = Timer
Do
  rounds = rounds + 1
  Round Int(Rnd * 300) + 1
  elapsed = Timer - started
  If elapsed < 0 Then elapsed = elapsed + 86400 ' past midnight
Loop While elapsed < seconds

WScript.Echo "soak: " & rounds & " rounds, " & added & " members added by Add in " & Int(elapsed) & " s"
WScript.Echo passed & " passed, " & failed & " failed"
