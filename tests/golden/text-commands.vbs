Option Explicit
Dim t
Dim r
Set r=NewRangeObject
If docs.Count Then
t=docs.ActiveDocument.Text
End If
If docs.Count Then
docs.ActiveDocument.Text="a" & vbcrlf & "b"
End If
If docs.Count Then
docs.ActiveDocument.Text=""
End If
If docs.Count Then
t=docs.ActiveDocument.GetLine(3)
End If
If docs.Count Then
t=docs.ActiveDocument.GetLine(t)
End If
If docs.Count Then
t=docs.ActiveDocument.SelText
End If
If docs.Count Then
docs.ActiveDocument.SelText="He said ""hi"""
End If
If docs.Count Then
Set r=docs.ActiveDocument.GetSel(True)
End If
If docs.Count Then
docs.ActiveDocument.SetSel r
End If
If docs.Count Then
docs.ActiveDocument.InsertText "Hi %who%, " & t & "!"
End If
If docs.Count Then
docs.ActiveDocument.InsertFile "b.txt"
End If
If docs.Count Then
t=docs.ActiveDocument.LineCount
End If
If docs.Count Then
docs.ActiveDocument.InsertString "/*","*/",true
End If
If docs.Count Then
docs.ActiveDocument.InsertString " ","*/", 
End If
If docs.Count Then
docs.ActiveDocument.Cut
End If
If docs.Count Then
docs.ActiveDocument.Copy
End If
If docs.Count Then
docs.ActiveDocument.Paste
End If
