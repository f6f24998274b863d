' collection_test.vbs - the collection and XJson as a VBScript user meets
' them, through the registered server. Run by cscript; the last line it prints is
' "N passed, N failed". A script that stops early prints no such line.
Option Explicit

Const E_FAIL = &H80004005
Const PROG_ID = "Collection.XCollection.1"
Const JSON_PROG_ID = "Collection.XJson.1"
Const E_INVALIDARG = &H80070057
Const DISP_E_TYPEMISMATCH = &H80020005

Dim passed, failed
passed = 0
failed = 0

' The collection that the members below read while they go, and what they
' read there.
Dim registry, readWhileGoing

' A script object whose Class_Terminate reads the collection in registry.
Class Member
  Public name
  Private Sub Class_Terminate()
    readWhileGoing = readWhileGoing & name & ":" & registry.Count & " "
  End Sub
End Class

' Counts a check: actual = expected, as the language compares them (an item
' object compares by its default member, its value).
Sub Check(name, actual, expected)
  Dim same
  same = False
  On Error Resume Next
  same = (actual = expected)
  If Err.Number <> 0 Then same = False
  On Error GoTo 0
  If same Then
    passed = passed + 1
  Else
    failed = failed + 1
    WScript.Echo "FAILED: " & name & ": got " & Shown(actual) & ", expected " & Shown(expected)
  End If
End Sub

Function Shown(value)
  Shown = TypeName(value)
  On Error Resume Next
  Shown = Shown & " " & CStr(value)
End Function

' Checks the error that the last statement left in Err, then clears it.
Sub CheckError(name, description)
  Dim number, text, source
  number = Err.Number
  text = Err.Description
  source = Err.Source
  Err.Clear
  Check name & " (number)", number, E_FAIL
  Check name & " (description)", text, description
  Check name & " (source)", source, PROG_ID
End Sub

Function NewCollection()
  Set NewCollection = CreateObject("Collection.XCollection")
End Function

' All values of c, walked with For Each, joined by commas.
Function Walk(c)
  Dim v, text
  text = ""
  For Each v In c
    If text <> "" Then text = text & ","
    text = text & CStr(v)
  Next
  Walk = text
End Function

' The elements of an array, each followed by a comma ("-" for Empty).
Function Listed(values)
  Dim v, text
  text = ""
  For Each v In values
    If IsEmpty(v) Then v = "-"
    text = text & CStr(v) & ","
  Next
  Listed = text
End Function

Sub CreatesByEitherProgId()
  Dim a, b
  Set a = CreateObject("Collection.XCollection")
  Set b = CreateObject(PROG_ID)
  Check "TypeName by version-independent ProgID", TypeName(a), "IXCollection2"
  Check "TypeName by versioned ProgID", TypeName(b), "IXCollection2"
  Check "new collection is empty", a.Count, 0
  a.Add 1
  Check "collections are separate", b.Count, 0
End Sub

Sub AddsWithAndWithoutKeys()
  Dim c
  Set c = NewCollection()
  c.Add "one"
  c.Add 2, "two"
  c.Add 3.5
  c.Add Null, "nothing"
  Check "count", c.Count, 4
  Check "unkeyed member by position", c(1), "one"
  Check "keyed member by key", c("two"), 2
  Check "keyed member by position", c(2), 2
  Check "double value kept", c(3), 3.5
  Check "null value kept", IsNull(c("nothing").Value), True
  Check "item of an unkeyed member has an empty key", IsEmpty(c(1).Key), True
  Check "item key", c(2).Key, "two"
  c.Add "upper", "TWO"
  Check "a key in another case is another member", c.Count, 5
  c.Add "e", ""
  Check "the empty string is a key", c.Count, 6
  Check "member under the empty key", c(""), "e"
End Sub

Sub ReplacesByKey()
  Dim c, old
  Set c = NewCollection()
  c.Add "v", "a"
  c.Add "w", "b"
  Set old = c("a")
  c.Add "z", "a"
  Check "replacing keeps the count", c.Count, 2
  Check "replaced member moves to the end", c(2).Key, "a"
  Check "new value under the key", c("a"), "z"
  Check "first member is now b", c(1), "w"
  Check "an item held before keeps its value", old.Value, "v"
End Sub

Sub ReadsByPositionAndKey()
  Dim c, i, k, total
  Set c = NewCollection()
  c.Add 10, "ten"
  c.Add 20, "twenty"
  c.Add 30
  Check "literal position", c(2), 20
  Check "Item by literal position", c.Item(3), 30
  i = 3
  Check "variable position", c(i), 30
  Check "Item by variable position", c.Item(i).Value, 30
  Check "Long position", c(CLng(1)), 10
  Check "literal key", c("twenty"), 20
  k = "ten"
  Check "variable key", c(k), 10
  Check "Item by variable key", c.Item(k).Value, 10
  total = 0
  For i = 1 To c.Count
    total = total + c(i)
  Next
  Check "For loop over positions", total, 60
  Check "default member of the item is its value", c(1) + 1, 11
End Sub

Sub WritesThroughTheItemProperty()
  Dim c, k
  Set c = NewCollection()
  c("a") = 1
  c.Item("b") = 2
  k = "c"
  c(k) = 3
  Check "put adds members", c.Count, 3
  c("a") = 4
  Check "put with an existing key replaces", c.Count, 3
  Check "replaced value", c("a"), 4
  Check "replaced member moves to the end", c(3).Key, "a"
End Sub

Sub SetsObjectsByKey()
  Dim c, o, same
  Set c = NewCollection()
  Set o = NewCollection()
  Set c("o") = o
  Set c.Item("p") = o
  Set c("o") = c.Item("p").Value
  same = c("o").Value Is o
  Check "Set stores the object itself under the key", same, True
  Check "Set with an existing key replaces", c(2).Key & c.Count, "o2"
  On Error Resume Next
  Set c(5) = o
  CheckError "Set with a numeric key", "Type mismatch"
End Sub

' Members that read the collection while its last reference goes: it is
' destroyed once, its members gone from it first.
Sub GoesOnceWhileItsMembersReadIt()
  Dim i, m
  readWhileGoing = ""
  Set registry = NewCollection()
  For i = 1 To 3
    Set m = New Member
    m.name = i
    registry.Add m, "m" & i
  Next
  Set m = Nothing
  Set registry = Nothing
  Check "members read their collection while it goes", readWhileGoing, "1:0 2:0 3:0 "
End Sub

Sub Removes()
  Dim c
  Set c = NewCollection()
  c.Add 1, "a"
  c.Add 2, "b"
  c.Add 3, "c"
  c.Add 4
  c.Remove "b"
  Check "remove by key", Walk(c), "1,3,4"
  c.Remove 1
  Check "remove by position", Walk(c), "3,4"
  c.Remove c.Count
  Check "remove the last", Walk(c), "3"
  c.Add 5, "b"
  Check "a removed key can be used again", c("b"), 5
  c.Remove "c"
  c.Remove 1
  Check "empty again", c.Count, 0
End Sub

Sub WalksWithForEach()
  Dim c, v, n
  Set c = NewCollection()
  n = 0
  For Each v In c
    n = n + 1
  Next
  Check "For Each over an empty collection", n, 0
  c.Add "x", "k"
  c.Add "y"
  c.Add 3
  Check "For Each yields values in order", Walk(c), "x,y,3"

  ' The loop walks the members the collection had when it started.
  n = 0
  For Each v In c
    n = n + 1
    c.Add n * 100
  Next
  Check "members added while walking are not walked", n, 3
  Check "members added while walking are there", c.Count, 6

  Dim seen
  seen = ""
  For Each v In c
    If c.Count > 0 Then c.Remove 1
    seen = seen & CStr(v) & " "
  Next
  Check "members removed while walking are still walked", seen, "x y 3 100 200 300 "
  Check "every member was removed", c.Count, 0
End Sub

Sub CatchesErrors()
  Dim c, o, i
  Set c = NewCollection()
  c.Add 1
  c.Add 2, "two"

  On Error Resume Next
  ' Wine's VBScript goes on with a statement whose default-member read
  ' failed; Set takes the item object itself, so the error stays the one
  ' the collection posted.
  Set o = c(3)
  CheckError "position past the end", "Subscript out of range"
  Set o = c(0)
  CheckError "position 0", "Subscript out of range"
  i = -1
  Set o = c.Item(i)
  CheckError "negative variable position", "Subscript out of range"
  c.Remove 5
  CheckError "remove past the end", "Subscript out of range"
  c.Add 3, 4
  CheckError "numeric key", "Type mismatch"
  c(5) = "x"
  CheckError "put with a numeric key", "Type mismatch"
  c.Add 3, Now
  CheckError "date key", "Type mismatch"
  Set o = c(Empty)
  CheckError "empty selector", "Type mismatch"
  c.Remove "no such key"
  i = Err.Number
  Err.Clear
  Check "unknown key fails", i <> 0, True
  On Error GoTo 0

  Check "failures leave the collection as it was", c.Count, 2
  Check "and its members", Walk(c), "1,2"
End Sub

Sub AsksExistsKeysItemsAndRemovesAll()
  Dim c, k, v, text, keys, held, o
  Set c = NewCollection()
  Check "Keys of an empty collection", UBound(c.Keys), -1
  Check "Items of an empty collection", UBound(c.Items), -1
  c.Add 1, "apple"
  c.Add "pear"
  c.Add 2.5, "plum"
  c.Add 3, ""
  If c.Exists("apple") Then
    Check "Exists for a key", True, True
  Else
    Check "Exists for a key", False, True
  End If
  Check "Exists for a key not there", c.Exists("cherry"), False
  Check "Exists compares exactly", c.Exists("Apple"), False
  Check "Exists for the empty key", c.Exists(""), True
  k = "plum"
  Check "Exists for a variable", c.Exists(k), True
  text = ""
  For Each k In c.Keys
    If IsEmpty(k) Then k = "-"
    text = text & k & ","
  Next
  Check "For Each over Keys", text, "apple,-,plum,,"
  text = ""
  For Each v In c.Items
    text = text & v & ","
  Next
  Check "For Each over Items", text, "1,pear,2.5,3,"
  Check "Items of a variable", Listed(c.Items), "1,pear,2.5,3,"
  keys = c.Keys
  Check "Keys is zero-based", LBound(keys), 0
  Check "Keys has one element per member", UBound(keys), 3
  keys = c.Items
  Check "Items of a member", keys(2), 2.5
  c.Remove "apple"
  c.Remove 1
  Check "Keys after removals", Listed(c.Keys), "plum,,"
  Check "Items after removals", Listed(c.Items), "2.5,3,"
  Check "Exists after removal", c.Exists("apple"), False

  On Error Resume Next
  v = c.Exists(1)
  CheckError "Exists with a number", "Type mismatch"
  v = c.Exists(Null)
  CheckError "Exists with Null", "Type mismatch"
  v = c.Exists(Empty)
  CheckError "Exists with Empty", "Type mismatch"
  Set o = NewCollection()
  v = c.Exists(o)
  CheckError "Exists with an object", "Type mismatch"
  On Error GoTo 0

  Set held = c("plum")
  c.Add "x", "during"
  text = ""
  For Each v In c
    If text = "" Then c.RemoveAll
    text = text & CStr(v) & " "
  Next
  Check "a walk goes on after RemoveAll", text, "2.5 3 x "
  Check "RemoveAll empties", c.Count, 0
  Check "Exists after RemoveAll", c.Exists("plum"), False
  Check "a held item outlives RemoveAll", held.Value, 2.5
  c.RemoveAll
  Check "RemoveAll of none", c.Count, 0
  c.Add "again", "plum"
  Check "a key is free again after RemoveAll", c("plum"), "again"
End Sub

' Checks an error of XJson that the last statement left in Err, then
' clears it.
Sub CheckJsonError(name, number, description)
  Dim code, text, source
  code = Err.Number
  text = Err.Description
  source = Err.Source
  Err.Clear
  Check name & " (number)", code, number
  Check name & " (description)", text, description
  Check name & " (source)", source, JSON_PROG_ID
End Sub

Sub ReadsJsonIntoCollections()
  Dim json, data, t, text, v
  Set json = CreateObject("Collection.XJson")
  Set data = json.Parse("{""user"": {""name"": ""Ada"", ""tags"": [""x"", ""y""]}, ""n"": 3}")
  Check "a nested value", data("user")("name"), "Ada"
  Check "a nested position", data("user")("tags")(2), "y"
  Check "a number", data("n"), 3
  Check "the example written back", json.Stringify(data), "{""user"":{""name"":""Ada"",""tags"":[""x"",""y""]},""n"":3}"
  ' Items stand for the collections they hold.
  Check "Count of a nested collection", data("user")("tags").Count, 2
  Check "Keys of a nested collection", Listed(data("user").Keys), "name,tags,"
  Check "Exists through an item", data("user").Exists("tags"), True
  Check "an item keeps its own Key", data("user").Key, "user"
  text = ""
  For Each t In data("user")("tags")
    text = text & t & ";"
  Next
  Check "For Each over a nested collection", text, "x;y;"
  text = ""
  For Each t In data("user")
    text = text & TypeName(t) & ";"
  Next
  Check "For Each over a nested object", text, "String;IXCollection2;"
  Set v = json.Parse(" [2147483647, 2147483648, 1.5e-7, true, null, ""\u00e9"", {}] ")
  Check "a Long", TypeName(v(1).Value), "Long"
  Check "beyond a Long, a Double", TypeName(v(2).Value), "Double"
  Check "a Double", v(3), 1.5E-07
  Check "null is Null", IsNull(v(5).Value), True
  Check "an escape", v(6), Chr(233)
  Check "an empty object stays an object", json.Stringify(v(7).Value), "{}"
End Sub

Sub WritesJsonFromCollectionsDictionariesAndArrays()
  Dim json, c, d, grid(1, 2), r, c2, fso, path
  Set json = CreateObject("Collection.XJson")
  Set c = NewCollection()
  c.Add 1, "a"
  c.Add "two", "b"
  Set d = CreateObject("Scripting.Dictionary")
  d.Add "list", Array(1, "two", Null, Empty, True, Nothing)
  For r = 0 To 1
    For c2 = 0 To 2
      grid(r, c2) = r * 10 + c2
    Next
  Next
  d.Add "grid", grid
  d.Add "when", DateSerial(2026, 12, 8) + TimeSerial(17, 30, 5)
  d.Add "price", CCur(12.5)
  c.Add d, "d"
  Check "a collection holding a Dictionary and arrays", json.Stringify(c), _
    "{""a"":1,""b"":""two"",""d"":{""list"":[1,""two"",null,null,true,null],""grid"":[[0,1,2],[10,11,12]]," & _
    """when"":""2026-12-08T17:30:05"",""price"":12.5}}"
  Check "indented", json.Stringify(json.Parse("{""a"": [1, {}]}"), 2), _
    "{" & vbLf & "  ""a"": [" & vbLf & "    1," & vbLf & "    {}" & vbLf & "  ]" & vbLf & "}"
  Check "an item stands for its value", json.Stringify(c("b")), """two"""
  r = 7
  Check "a variable, passed by reference", json.Stringify(r, r - 7), "7"
  Set fso = CreateObject("Scripting.FileSystemObject")
  path = fso.BuildPath(fso.GetSpecialFolder(2), "collection_test_xjson.json")
  json.WriteFile c, path, 1
  Check "a file written and read back", json.Stringify(json.ReadFile(path)), json.Stringify(c)
  fso.DeleteFile path
End Sub

Sub CatchesJsonErrors()
  Dim json, v, c, fso, path, code, text, source
  Set json = CreateObject("Collection.XJson")
  Set fso = CreateObject("Scripting.FileSystemObject")
  On Error Resume Next
  Set v = json.Parse("{" & vbLf & "  ""a"": 1" & vbLf & "  ""b"": 2}")
  CheckJsonError "a missing comma", E_FAIL, "line 3, column 3: expected ',' or '}' after the member"
  v = json.Parse(String(1001, "["))
  CheckJsonError "nesting too deep", E_FAIL, "line 1, column 1001: nesting deeper than 1000 levels"
  Set c = NewCollection()
  c.Add fso, "files"
  v = json.Stringify(c)
  CheckJsonError "an object with no JSON form", E_FAIL, "files: an object with no JSON form"
  c.Remove "files"
  c.Add 1, "k"
  c.Add 2
  v = json.Stringify(c)
  CheckJsonError "a mixed collection", E_FAIL, "a collection that mixes members with and without keys (member 2 has no key)"
  c.Remove 2
  c.Add c, "self"
  v = json.Stringify(c)
  CheckJsonError "a collection that holds itself", E_FAIL, "self: a collection that holds itself"
  c.Remove "self"
  v = json.Stringify(1, 11)
  CheckJsonError "Indent out of range", E_INVALIDARG, "Invalid procedure call or argument"
  v = json.Stringify(1, "two")
  CheckJsonError "Indent of the wrong type", DISP_E_TYPEMISMATCH, "Type mismatch"
  path = fso.BuildPath(fso.GetSpecialFolder(2), "no such file.json")
  v = json.ReadFile(path)
  code = Err.Number
  text = Err.Description
  source = Err.Source
  Err.Clear
  Check "a missing file (number)", code, &H80070002
  Check "a missing file (description, then the system's message)", Left(text, Len(path) + 14), _
    "cannot open " & path & ": "
  Check "a missing file (source)", source, JSON_PROG_ID
  v = json.Parse("{""a"": [1]}")("a").Nothing
  Check "what the value lacks fails as the value fails", Err.Number, 438
  Err.Clear
  On Error GoTo 0
End Sub

CreatesByEitherProgId
AddsWithAndWithoutKeys
ReplacesByKey
ReadsByPositionAndKey
WritesThroughTheItemProperty
Removes
WalksWithForEach
CatchesErrors
AsksExistsKeysItemsAndRemovesAll
SetsObjectsByKey
GoesOnceWhileItsMembersReadIt
ReadsJsonIntoCollections
WritesJsonFromCollectionsDictionariesAndArrays
CatchesJsonErrors

WScript.Echo passed & " passed, " & failed & " failed"
