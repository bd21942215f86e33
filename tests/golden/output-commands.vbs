Option Explicit
Dim n
If docs.Count Then
docs.ActiveDocument.BookmarkToggle
End If
If docs.Count Then
docs.ActiveDocument.BookmarkNext
End If
If docs.Count Then
docs.ActiveDocument.BookmarkPrev
End If
If docs.Count Then
docs.ActiveDocument.BookmarkFirst
End If
If docs.Count Then
docs.ActiveDocument.BookmarkLast
End If
If docs.Count Then
docs.ActiveDocument.BookmarkClear
End If
If docs.Count Then
n=docs.ActiveDocument.BookmarkCount
End If
Output.Visible=True
Output.Visible=false
n=Output.Visible
Output.Clear
n=Output.LineCount
n=Output.SelLine
Output.SelLine=3
n=Output.GetLine(n)
n=Output.GetText
Output.AddText "done",-1
Output.AddText "done",5
Output.AddText "done",-1
Output.AddText "a" & vbcrlf & "b", 
