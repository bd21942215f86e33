Option Explicit
Dim who
who=InputDialog("What is your name?","friend")
If who <> "" Then
If docs.Count Then
docs.ActiveDocument.InsertText "Hello, " & who & "!" & vbcrlf & "Welcome back."
End If
Else
MessageBox "No name given.","ok","info"
End If
