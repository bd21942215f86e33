Option Explicit
Dim oldword
oldword="colour"
Dim newword
newword="color"
If docs.Count Then
docs.ActiveDocument.PrepareFind "" & oldword & "",false,true
End If
If docs.Count Then
docs.ActiveDocument.PrepareReplace "" & newword & "",true
End If
If docs.Count Then
docs.ActiveDocument.ReplaceAll false
End If
Output.AddText "Replaced """ & oldword & """ with """ & newword & """.",-1
