Option Explicit
Case 1
End Sub
Exit For
Else
If a Then
Else
Else
End If
For i = 1 To 2
While x
Next
Wend
Class C
Property Get P
Exit Property
End Property
End Class
Function F
Exit Function
End Function
With x
End With
Private Const k = 1
Dim a, b
