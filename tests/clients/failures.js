// Prints the results of the calls that fail without an exception: sending an
// empty basket (short and long), then a query that the test has the gateway
// answer with a fault.
var exitCode = 0;
try {
  var gateway = new ActiveXObject("Tellavo.Gateway");
  gateway.clearsmsbasket();
  WScript.Echo("empty sendsms " + gateway.sendsms("tellavo", "s3cret", "TELLAVO", "", "42"));
  WScript.Echo("empty sendsmsconcat " + gateway.sendsmsconcat("tellavo", "s3cret", "TELLAVO", "", "42"));
  WScript.Echo("fault getinfo " + gateway.getinfo("tellavo", "s3cret", "42"));
} catch (e) {
  WScript.Echo("error 0x" + (e.number >>> 0).toString(16).toUpperCase() + ": " + e.message);
  exitCode = 3;
}
WScript.Quit(exitCode);
