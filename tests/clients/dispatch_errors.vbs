' Calls the object the wrong way and prints the error numbers VBScript reports:
' an unknown method, then too few and too many arguments.
Option Explicit
Dim gateway, result

On Error Resume Next
Set gateway = CreateObject("Tellavo.Gateway")
If Err.Number <> 0 Then
  WScript.Echo "error " & Err.Number & ": " & Err.Description
  WScript.Quit 3
End If

Err.Clear
gateway.sendfax "x"
WScript.Echo "unknown " & Err.Number

Err.Clear
result = gateway.getinfo("tellavo", "s3cret")
WScript.Echo "fewer " & Err.Number

Err.Clear
gateway.clearsmsbasket "extra"
WScript.Echo "more " & Err.Number
WScript.Quit 0
