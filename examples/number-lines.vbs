Option Explicit
Dim total
Dim n
n=1
If docs.Count Then
total=docs.ActiveDocument.LineCount
End If
Do While n <= total
If docs.Count Then
docs.ActiveDocument.GotoLine n
End If
If docs.Count Then
docs.ActiveDocument.InsertText "" & n & ": "
End If
n = n + 1
Loop
