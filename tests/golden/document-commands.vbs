Option Explicit
docs.Add ""
docs.Add "web.htm"
docs.OpenDoc false, "a.txt"
docs.OpenDoc false, "a ""1"".txt"
docs.OpenDoc
docs.OpenDoc false, "	"
If docs.Count Then
docs.ActiveDocument.SaveMe
End If
If docs.Count Then
docs.ActiveDocument.SaveMe False,"b.txt"
End If
If docs.Count Then
docs.ActiveDocument.SaveMe False,"b.txt"
End If
docs.SaveAll
If docs.Count Then
docs.ActiveDocument.PrintMe True
End If
If docs.Count Then
docs.ActiveDocument.PrintMe false
End If
docs.PrintAll True
If docs.Count Then
docs.ActiveDocument.ShowInBrowser
End If
If docs.Count Then
docs.ActiveDocument.CloseMe
End If
docs.CloseAll
If docs.Count Then
docs.ActiveDocument.Undo
End If
If docs.Count Then
docs.ActiveDocument.Redo
End If
Dim lang
If docs.Count Then
lang=docs.ActiveDocument.Language
End If
If docs.Count Then
docs.ActiveDocument.Language="HTML"
End If
