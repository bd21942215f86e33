Option Explicit
Dim r
MessageBox "Hi","b1","i1"
r=MessageBox("Hi","b1","i1")
MessageBox "Hi " & r & "","",""
r=ChoiceDialog("Pick","T","K")
ChoiceDialog "a" & vbcrlf & "b","T","K"
r=InputDialog("Name","x")
r=InputDialog("","")
a = 1
MsgBox a
Call ShellEx("f.txt","v")
r=ShellEx("f.txt","v")
Call ShellEx("g","")
