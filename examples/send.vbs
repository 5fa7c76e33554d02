' Sends one message to each number through Tellavo.Gateway, then asks for the
' account's originators and the status of what was sent.
'
'   cscript //nologo send.vbs USER PASSWORD VENDOR_ID ORIGINATOR NUMBER [NUMBER ...]
'
' Exit status: 0 sent, 1 the gateway failed or refused, 2 wrong arguments,
' 3 a script or COM error.
Option Explicit

' cscript writes through the console code page: anything beyond printable
' ASCII is shown as "?".
Function Ascii(text)
  Dim printable, i, c, out
  printable = ""
  For i = 32 To 126
    printable = printable & Chr(i)
  Next
  out = ""
  For i = 1 To Len(text)
    c = Mid(text, i, 1)
    If InStr(1, printable, c, vbBinaryCompare) > 0 Then
      out = out & c
    Else
      out = out & "?"
    End If
  Next
  Ascii = out
End Function

' The lines of a result, without the empty ones, joined by sep.
Function Lines(text, sep)
  Dim part, out
  out = ""
  For Each part In Split(Replace(text, vbCr, ""), vbLf)
    If part <> "" Then
      If out <> "" Then out = out & sep
      out = out & Ascii(part)
    End If
  Next
  Lines = out
End Function

' "-1": the exchange failed (the event log says why); "-2": nothing to send.
Function Failed(result)
  Failed = (result = "-1" Or result = "-2")
End Function

Function Main(args)
  Dim user, password, vendor, originator, gateway, originators, id, status, i, line
  If args.Count < 5 Then
    WScript.Echo "usage: send.vbs USER PASSWORD VENDOR_ID ORIGINATOR NUMBER [NUMBER ...]"
    Main = 2
    Exit Function
  End If
  user = args(0) : password = args(1) : vendor = args(2) : originator = args(3)
  Set gateway = CreateObject("Tellavo.Gateway")

  originators = gateway.getinfo(user, password, vendor)
  If Failed(originators) Then
    WScript.Echo "getinfo failed: " & originators
    Main = 1
    Exit Function
  End If
  WScript.Echo "originators: " & Lines(originators, ", ")

  gateway.clearsmsbasket
  For i = 4 To args.Count - 1
    gateway.addtosmsbasket "Hello from Tellavo (VBScript)", args(i)
  Next
  ' An empty send date sends at once.
  id = Trim(gateway.sendsms(user, password, originator, "", vendor))
  If id = "" Or Not IsNumeric(id) Then
    WScript.Echo "sendsms failed: " & Ascii(id)
    Main = 1
    Exit Function
  End If
  WScript.Echo "message id: " & id

  status = gateway.getmsgstatus(user, password, id, vendor)
  If Failed(status) Then
    WScript.Echo "getmsgstatus failed: " & status
    Main = 1
    Exit Function
  End If
  For Each line In Split(Lines(status, vbLf), vbLf)
    WScript.Echo "status: " & line
  Next
  Main = 0
End Function

Dim exitCode
On Error Resume Next
exitCode = Main(WScript.Arguments)
If Err.Number <> 0 Then
  WScript.Echo "error 0x" & Hex(Err.Number) & ": " & Ascii(Err.Description)
  exitCode = 3
End If
On Error GoTo 0
WScript.Quit exitCode
