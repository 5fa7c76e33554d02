' Sends one message through Tellavo.Gateway without any registration: the
' module and its manifest, Tellavo.sxs.manifest, lie in a folder of their own
' (the x86 or x64 folder of the portable zip, matching the host's bitness),
' and Windows' Microsoft.Windows.ActCtx object creates the object from the
' manifest. VBA in Excel or Access does the same (see README.md).
'
'   cscript //nologo send-regfree.vbs FOLDER USER PASSWORD VENDOR_ID ORIGINATOR NUMBER
'
' Exit status: 0 sent, 1 the gateway failed or refused, 2 wrong arguments,
' 3 a script or COM error (for example a module of the other bitness).
Option Explicit

Function Main(args)
  Dim folder, context, gateway, id
  If args.Count <> 6 Then
    WScript.Echo "usage: send-regfree.vbs FOLDER USER PASSWORD VENDOR_ID ORIGINATOR NUMBER"
    Main = 2
    Exit Function
  End If
  folder = args(0)
  If Right(folder, 1) <> "\" Then folder = folder & "\"
  Set context = CreateObject("Microsoft.Windows.ActCtx")
  context.Manifest = folder & "Tellavo.sxs.manifest"
  Set gateway = context.CreateObject("Tellavo.Gateway")

  gateway.clearsmsbasket
  gateway.addtosmsbasket "Hello from Tellavo (registration-free)", args(5)
  ' An empty send date sends at once.
  id = Trim(gateway.sendsms(args(1), args(2), args(4), "", args(3)))
  If id = "" Or Not IsNumeric(id) Then
    WScript.Echo "sendsms failed: " & id
    Main = 1
    Exit Function
  End If
  WScript.Echo "message id: " & id
  Main = 0
End Function

Dim exitCode
On Error Resume Next
exitCode = Main(WScript.Arguments)
If Err.Number <> 0 Then
  WScript.Echo "error 0x" & Hex(Err.Number) & ": " & Err.Description
  exitCode = 3
End If
On Error GoTo 0
WScript.Quit exitCode
