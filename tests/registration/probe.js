// Creates Tellavo.Gateway and asks for the originators of the simulator's
// account: prints the host's processor architecture, then the answer's
// lines joined by commas, or "error" and the HRESULT the creation or call
// failed with.
var env = new ActiveXObject("WScript.Shell").Environment("PROCESS");
WScript.Echo(env("PROCESSOR_ARCHITECTURE"));
try {
  var gateway = new ActiveXObject("Tellavo.Gateway");
  var lines = gateway.getinfo("tellavo", "s3cret", "42").split("\n");
  lines.pop();
  WScript.Echo(lines.join(","));
} catch (e) {
  WScript.Echo("error " + (e.number >>> 0).toString(16).toUpperCase());
}
