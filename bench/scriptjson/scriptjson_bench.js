// scriptjson_bench.js - JSON for script authors: the server's XJson against
// the JSON parsers script authors paste into JScript (json2.js, json3), on
// one document, in one cscript process. Run by scripts/bench under Wine:
//
//   cscript //nologo scriptjson_bench.js <parse|stringify> <library> <document> <bytes> <text> [<peer.js>] [--quick]
//
// <library> is XJson, json2.js or json3; <document> the document's name
// (the tables' case), <bytes> its size in UTF-8 (the tables' n), <text> a
// UTF-16 copy of it (with its byte-order mark; the script host reads no
// UTF-8), <peer.js> the peer's script, evaluated here. Prints, and
// "scriptjson_bench: done" last:
//
//   BENCH table=parse case=twitter.json library=json2.js n=631514 ops=1 seconds=0.074
//
// parse times the library's parse of the text; stringify its stringify of
// what its own parse gave (that parse not timed). The operation runs again
// and again until it has taken a second (once with --quick, and once when a
// run takes longer than that), in batches of runs that take 50 ms at least
// (the clock, Date's, counts milliseconds); a figure is the fastest batch's
// time per run, the one the machine's other work disturbed least.
var args = WScript.Arguments;
var operationName = args(0), library = args(1), documentName = args(2), bytes = args(3), textPath = args(4);
var peerPath = "", quick = false;
for (var a = 5; a < args.length; ++a) {
  if (args(a) == "--quick") quick = true;
  else peerPath = args(a);
}

var fso = new ActiveXObject("Scripting.FileSystemObject");
function readText(path, unicode) {
  var file = fso.OpenTextFile(path, 1, false, unicode ? -1 : 0);
  var text = file.ReadAll();
  file.Close();
  return text;
}

// The library's two operations: parse(text), stringify(value).
var parse, stringify;
if (library == "XJson") {
  var json = new ActiveXObject("Collection.XJson");
  parse = function (text) { return json.Parse(text); };
  stringify = function (value) { return json.Stringify(value); };
} else {
  eval(readText(peerPath, false)); // defines JSON (json2.js) or JSON3 (json3)
  var peer = library == "json3" ? JSON3 : JSON;
  parse = function (text) { return peer.parse(text); };
  stringify = function (value) { return peer.stringify(value); };
}

// The fastest time of a run of operation(argument), in seconds.
function fastest(operation, argument) {
  var start = new Date().getTime();
  operation(argument);
  var first = new Date().getTime() - start;
  if (quick || first >= 1000) return first / 1000;
  var batch = first >= 50 ? 1 : Math.ceil(50 / Math.max(first, 1));
  var best = -1, spent = first;
  while (spent < 1000) {
    start = new Date().getTime();
    for (var i = 0; i < batch; ++i) operation(argument);
    var took = new Date().getTime() - start;
    spent += took;
    if (best < 0 || took / batch < best) best = took / batch;
  }
  return best / 1000;
}

var text = readText(textPath, true);
var seconds = operationName == "parse" ? fastest(parse, text) : fastest(stringify, parse(text));
WScript.Echo("BENCH table=" + operationName + " case=" + documentName + " library=" + library + " n=" + bytes +
             " ops=1 seconds=" + seconds);
WScript.Echo("scriptjson_bench: done");
