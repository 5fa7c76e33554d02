// Creates the Gateway object, fills the basket and makes a getinfo that is
// refused before it is sent and one that fails on the network; exit status
// 0 when every call succeeded, 3 when one raised.
var exitCode = 0;
try {
  var gateway = new ActiveXObject("Tellavo.Gateway");
  gateway.addtosmsbasket("Merhaba", "5550000001");
  gateway.getinfo("tellavo", "s3\u0000cret", "42");
  gateway.getinfo("tellavo", "s3cret", "42");
} catch (e) {
  exitCode = 3;
}
WScript.Quit(exitCode);
