Option Explicit
Dim lines
lines=0
If docs.Count Then
lines=docs.ActiveDocument.LineCount
End If
Output.Visible=true
Output.Clear
Output.AddText "The document has " & lines & " lines.",-1
If lines > 1000 Then
Output.AddText "Warning: a long document.",1
End If
