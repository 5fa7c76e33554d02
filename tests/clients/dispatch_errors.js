// Calls the object the wrong way and prints the error numbers JScript reports:
// an unknown method, then too few and too many arguments.
function number(call) {
  try {
    call();
    return "none";
  } catch (e) {
    return "0x" + (e.number >>> 0).toString(16).toUpperCase();
  }
}

var exitCode = 0;
try {
  var gateway = new ActiveXObject("Tellavo.Gateway");
  WScript.Echo("unknown " + number(function () { gateway.sendfax("x"); }));
  WScript.Echo("fewer " + number(function () { gateway.getinfo("tellavo", "s3cret"); }));
  WScript.Echo("more " + number(function () { gateway.clearsmsbasket("extra"); }));
} catch (e) {
  WScript.Echo("error 0x" + (e.number >>> 0).toString(16).toUpperCase() + ": " + e.message);
  exitCode = 3;
}
WScript.Quit(exitCode);
