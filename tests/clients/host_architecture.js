// Prints the processor architecture of the script host's process, and the
// machine's when the host runs under WoW64 ("x86 AMD64" for a 32-bit host on
// 64-bit Windows, "AMD64 " for a 64-bit one).
var env = new ActiveXObject("WScript.Shell").Environment("PROCESS");
WScript.Echo(env("PROCESSOR_ARCHITECTURE") + " " + env("PROCESSOR_ARCHITEW6432"));
