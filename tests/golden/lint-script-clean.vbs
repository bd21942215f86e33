Option Explicit
Dim arr(3), z : Const k = 1, j = "a, b" ' Dim q
Public Default Function F(x) : F = x : End Function
Private Sub S : Exit Sub : End Sub
Property Let P(v) : End Property
Public Property Set Q(v)
  If v Then Exit Property Else Exit Property
End Property
Private Const PI = 3
Public u, _
  w
Select Case z
Case 1 : While z : z = z - 1 : Wend
Case Else
  If z Then
  ElseIf k Then
  Else
  End If
End Select
With arr
End With
For i = 1 To 2 : Next
s = "End If : Loop ' " _
  & "Next"
Rem End Sub
If z Then _
z = 1
If docs.Count Then
arr=docs.ActiveDocument.LineCount
End If
If docs.Count Then
z=docs.ActiveDocument.LineCount
End If
If docs.Count Then
u=docs.ActiveDocument.LineCount
End If
If docs.Count Then
w=docs.ActiveDocument.LineCount
End If
