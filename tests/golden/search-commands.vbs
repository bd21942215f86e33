Option Explicit
If docs.Count Then
docs.ActiveDocument.PrepareFind "hello",true,false
End If
If docs.Count Then
docs.ActiveDocument.PrepareFind "a""b",True,false
End If
If docs.Count Then
docs.ActiveDocument.PrepareFind "",True,false
End If
If docs.Count Then
docs.ActiveDocument.PrepareReplace "a" & vbcrlf & "b",false
End If
If docs.Count Then
docs.ActiveDocument.FindNext
End If
If docs.Count Then
docs.ActiveDocument.FindPrev
End If
If docs.Count Then
docs.ActiveDocument.FindMarkAll
End If
If docs.Count Then
docs.ActiveDocument.ReplaceNext
End If
If docs.Count Then
docs.ActiveDocument.ReplaceAll true
End If
If docs.Count Then
docs.ActiveDocument.GotoLine 12
End If
If docs.Count Then
docs.ActiveDocument.GotoLine 12
End If
If docs.Count Then
docs.ActiveDocument.GotoLine 1
End If
If docs.Count Then
docs.ActiveDocument.RunUserTool 2
End If
If docs.Count Then
docs.ActiveDocument.FunctionList
End If
