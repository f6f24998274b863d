' collection_demo.vbs - the variant collection server as a VBScript user
' meets it. Register the server first, then run the script with cscript:
'
'   regsvr32 Collection.dll
'   cscript //nologo collection_demo.vbs
Option Explicit

Dim fruit, value, position
Set fruit = CreateObject("Collection.XCollection")

' Members with a key, and one without (reachable by position only).
fruit.Add "apple", "a"
fruit.Add "banana", "b"
fruit.Add "cherry"
' Assigning to a key adds a member too.
fruit("d") = "date"

WScript.Echo "Members:              " & fruit.Count
WScript.Echo "By key ""b"":           " & fruit("b")
WScript.Echo "By position 3:        " & fruit(3)
WScript.Echo "Key of the first:     " & fruit(1).Key

' Adding under a key that is there replaces that member; it moves to the end.
fruit.Add "apricot", "a"
fruit.Remove "b"

WScript.Echo "Walked with For Each:"
position = 0
For Each value In fruit
  position = position + 1
  WScript.Echo "  " & position & ". " & value
Next

' Failures come as script errors with a text and the class as source.
On Error Resume Next
Dim missing
Set missing = fruit(10)
If Err.Number <> 0 Then
  WScript.Echo "Caught: """ & Err.Description & """ from " & Err.Source & _
               " (&H" & Hex(Err.Number) & ")"
End If
Err.Clear
fruit.Add "fig", 7
If Err.Number <> 0 Then WScript.Echo "Caught: """ & Err.Description & """ for a numeric key"
On Error GoTo 0
