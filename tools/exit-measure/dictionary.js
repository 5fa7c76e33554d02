// The baseline: the same host with a system object only.
var exitCode = 0;
try {
  var dictionary = new ActiveXObject("Scripting.Dictionary");
  dictionary.Add("5550000001", "Merhaba");
  dictionary.Exists("5550000001");
} catch (e) {
  exitCode = 3;
}
WScript.Quit(exitCode);
