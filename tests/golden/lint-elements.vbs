Option Explicit
Dim v
Dim r
Set r=NewRangeObject
If docs.Count Then
docs.ActiveDocument.PrintMe %%
End If
If docs.Count Then
docs.ActiveDocument.InsertText "%r.text% %v.startlineno%"
End If
x = " & v & "
y = "" & v & "" & " & v & " ' " & v & "
Dim v
Else
If 1 Then
Else
Else
End If
If v _
Or v Then
If docs.Count Then
docs.ActiveDocument.Cut
End If
End If
If docs.Count Then
docs.ActiveDocument.GotoLine 
End If
