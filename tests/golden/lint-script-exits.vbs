Option Explicit
Exit Do
Exit Sub
Exit Function
Exit Property
If a Then Exit Do Else Exit For
End Select
Wend
Loop
ElseIf b Then
Do
For Each x In y
Exit Do
Loop
Do While 1
Sub S
Exit Do
End Sub
Loop
