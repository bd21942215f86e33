' The registered component from a script, as a host uses it: the error of
' Execute before Init through Err, each bundled example compiled to the
' script committed beside it, and failing documents through ErrMsg.
'
'   cscript //nologo component.vbs CATALOGUE EXAMPLES_DIR
Option Explicit

Dim fso, jit, failures, checks
Set fso = CreateObject("Scripting.FileSystemObject")
failures = 0
checks = 0

Sub Check(ok, what)
  checks = checks + 1
  If Not ok Then
    WScript.Echo "component.vbs: CHECK failed: " & what
    failures = failures + 1
  End If
End Sub

' The bundled scripts are ASCII, which the file object reads as it is.
Function ReadAll(path)
  Dim f
  Set f = fso.OpenTextFile(path, 1)
  ReadAll = f.ReadAll
  f.Close
End Function

Sub WriteAll(path, text)
  Dim f
  Set f = fso.CreateTextFile(path, True)
  f.Write text
  f.Close
End Sub

Dim catalogue, examples
catalogue = WScript.Arguments(0)
examples = WScript.Arguments(1)
Set jit = CreateObject("TavJIT.CTavJIT")

' Before Init, Execute raises and changes nothing.
Dim result
On Error Resume Next
result = jit.Execute(fso.BuildPath(examples, "greeting.tav"))
Check Err.Number = &H80040066, "Err.Number " & Err.Number
Check Err.Source = "TAVJIT::Execute", "Err.Source " & Err.Source
Check Err.Description = "Init method haven't been called", "Err.Description " & Err.Description
On Error Goto 0
Check jit.ErrMsg = "" And jit.Text = "", "ErrMsg and Text untouched before Init"

' One instance for each example: attribute values that a document writes
' into the catalogue's definitions last into the next Execute.
Dim file, count
count = 0
For Each file In fso.GetFolder(examples).Files
  If LCase(fso.GetExtensionName(file.Name)) = "tav" Then
    count = count + 1
    Set jit = CreateObject("TavJIT.CTavJIT")
    jit.Init catalogue
    Check jit.Execute(file.Path), file.Name & " compiles"
    Check jit.Text = ReadAll(Left(file.Path, Len(file.Path) - 3) & "vbs"), _
          file.Name & ": Text is the committed script"
    Check jit.ErrMsg = "", file.Name & ": ErrMsg " & jit.ErrMsg
  End If
Next
Check count >= 5, count & " examples"

' A failing document: False, its message in ErrMsg, Text as the last
' compilation that completed left it.
Dim before, bad
before = jit.Text
bad = fso.BuildPath(fso.GetSpecialFolder(2), fso.GetTempName())
WriteAll bad, "<tav version=""1.0"" edition=""korvane""><tavhead><version>1</version>" & _
              "</tavhead><tavbody><goto line=""x y""/></tavbody></tav>"
Check Not jit.Execute(bad), "a bad value fails"
Check jit.ErrMsg = "line contains an invalid value in element goto", "ErrMsg " & jit.ErrMsg
Check jit.Text = before, "Text kept"
WriteAll bad, "not xml"
Check Not jit.Execute(bad), "not XML fails"
Check jit.ErrMsg = "Not a TAV document or file is not well formed", "ErrMsg " & jit.ErrMsg
fso.DeleteFile bad
Check Not jit.Execute(bad), "a missing file fails"
Check jit.ErrMsg = "File doesn't exist.", "ErrMsg " & jit.ErrMsg

If failures = 0 Then WScript.Echo "component.vbs: " & checks & " checks passed"
WScript.Quit failures
