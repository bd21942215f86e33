Option Explicit
Dim saved
Set saved=NewRangeObject
If docs.Count Then
Set saved=docs.ActiveDocument.GetSel(True)
End If
Output.AddText "Selection from line " & saved.startlineno & " to " & saved.endlineno & ".",-1
If docs.Count Then
docs.ActiveDocument.GotoLine 1
End If
If docs.Count Then
docs.ActiveDocument.InsertText "' checked"
End If
If docs.Count Then
docs.ActiveDocument.SetSel saved
End If
