Option Explicit
Dim e
Dim n
n=42
Dim s
s="Hello"
Dim c
c="1,5"
Dim t
t="a" & vbcrlf & "b"
n=3
s="abc"
s=""
n=7
n = n + 1
Dim r
Set r=NewRangeObject
Dim N
Set N=NewRangeObject
s="%N.StartLineNo% " & r.startlineno & ""
r.StartLineNo=1
r.StartColNo=2
r.EndLineNo=5
r.EndColNo=10
r.ColumnSel=False
If n > 1 Then
s="" & n & " lines"
Else
s="none"
End If
If 	n	 Then
End If
Do While n > 0
Exit Do
Loop
