// Sends one message to each number through Tellavo.Gateway, then asks for the
// account's originators and the status of what was sent.
//
//   cscript //nologo send.js USER PASSWORD VENDOR_ID ORIGINATOR NUMBER [NUMBER ...]
//
// Exit status: 0 sent, 1 the gateway failed or refused, 2 wrong arguments,
// 3 a script or COM error.

// cscript writes through the console code page: anything beyond printable
// ASCII is shown as \uXXXX.
function ascii(text) {
  return String(text).replace(/[^\x20-\x7e]/g, function (c) {
    return "\\u" + ("000" + c.charCodeAt(0).toString(16)).slice(-4);
  });
}

// The lines of a result, without the empty ones.
function lines(text) {
  var all = String(text).split(/\r?\n/), kept = [];
  for (var i = 0; i < all.length; i++)
    if (all[i] !== "") kept.push(ascii(all[i]));
  return kept;
}

// "-1": the exchange failed (the event log says why); "-2": nothing to send.
function failed(result) {
  return result === "-1" || result === "-2";
}

function main(args) {
  if (args.length < 5) {
    WScript.Echo("usage: send.js USER PASSWORD VENDOR_ID ORIGINATOR NUMBER [NUMBER ...]");
    return 2;
  }
  var user = args[0], password = args[1], vendor = args[2], originator = args[3];
  var gateway = new ActiveXObject("Tellavo.Gateway");

  var originators = gateway.getinfo(user, password, vendor);
  if (failed(originators)) {
    WScript.Echo("getinfo failed: " + originators);
    return 1;
  }
  WScript.Echo("originators: " + lines(originators).join(", "));

  gateway.clearsmsbasket();
  for (var i = 4; i < args.length; i++)
    gateway.addtosmsbasket("Hello from Tellavo (JScript)", args[i]);
  // An empty send date sends at once.
  var id = gateway.sendsms(user, password, originator, "", vendor);
  if (!/^\s*\d+\s*$/.test(id)) {
    WScript.Echo("sendsms failed: " + ascii(id));
    return 1;
  }
  id = id.replace(/\s/g, "");
  WScript.Echo("message id: " + id);

  var status = gateway.getmsgstatus(user, password, id, vendor);
  if (failed(status)) {
    WScript.Echo("getmsgstatus failed: " + status);
    return 1;
  }
  var report = lines(status);
  for (var j = 0; j < report.length; j++)
    WScript.Echo("status: " + report[j]);
  return 0;
}

var args = [];
for (var k = 0; k < WScript.Arguments.length; k++)
  args.push(WScript.Arguments(k));
var exitCode;
try {
  exitCode = main(args);
} catch (e) {
  // e.number is the HRESULT (or the scode the object raised).
  WScript.Echo("error 0x" + (e.number >>> 0).toString(16).toUpperCase() + ": " + ascii(e.message));
  exitCode = 3;
}
WScript.Quit(exitCode);
