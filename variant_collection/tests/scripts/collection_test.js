// collection_test.js - the collection and XJson as a JScript user meets
// them, through the registered server. Run by cscript; the last line it prints is
// "N passed, N failed". A script that stops early prints no such line.

var E_FAIL = -2147467259; // 0x80004005 as JScript reports it
var passed = 0, failed = 0;

function check(name, actual, expected) {
  if (actual === expected) {
    ++passed;
  } else {
    ++failed;
    WScript.Echo("FAILED: " + name + ": got " + typeof actual + " " + actual +
                 ", expected " + typeof expected + " " + expected);
  }
}

// Runs f, which must throw the collection's error with `description`.
function checkThrows(name, description, f) {
  try {
    f();
  } catch (e) {
    check(name + " (number)", e.number, E_FAIL);
    check(name + " (description)", e.description, description);
    return;
  }
  check(name + " throws", false, true);
}

// Runs f, which must throw XJson's error with `number` and `description`.
function checkJsonThrows(name, number, description, f) {
  try {
    f();
  } catch (e) {
    check(name + " (number)", e.number, number);
    check(name + " (description)", e.description, description);
    return;
  }
  check(name + " throws", false, true);
}

function newCollection() { return new ActiveXObject("Collection.XCollection"); }

// All values of c, walked with an Enumerator, joined by commas.
function walk(c) {
  var values = [];
  for (var e = new Enumerator(c); !e.atEnd(); e.moveNext())
    values.push(e.item());
  return values.join(",");
}

function createsByEitherProgId() {
  var a = new ActiveXObject("Collection.XCollection");
  var b = new ActiveXObject("Collection.XCollection.1");
  check("new collection is empty", a.Count, 0);
  a.Add(1);
  check("collections are separate", b.Count, 0);
}

function addsWithAndWithoutKeys() {
  var c = newCollection();
  c.Add("one");
  c.Add(2, "two");
  c.Add(3.5);
  c.Add(true, "yes");
  check("count", c.Count, 4);
  check("unkeyed member by position", c.Item(1).Value, "one");
  check("keyed member by key", c.Item("two").Value, 2);
  check("keyed member by position", c.Item(2).Value, 2);
  check("double value kept", c.Item(3).Value, 3.5);
  check("boolean value kept", c.Item("yes").Value, true);
  check("item key", c.Item(2).Key, "two");
  check("unkeyed item has no key", typeof c.Item(1).Key, "undefined");
  check("default member of the collection", c("two").Value, 2);
  c.Add("upper", "TWO");
  check("a key in another case is another member", c.Count, 5);
  c.Add("e", "");
  check("the empty string is a key", c.Item("").Value, "e");
}

function replacesByKey() {
  var c = newCollection();
  c.Add("v", "a");
  c.Add("w", "b");
  var old = c.Item("a");
  c.Add("z", "a");
  check("replacing keeps the count", c.Count, 2);
  check("replaced member moves to the end", c.Item(2).Key, "a");
  check("new value under the key", c.Item("a").Value, "z");
  check("an item held before keeps its value", old.Value, "v");
}

function readsByPositionAndKey() {
  var c = newCollection();
  c.Add(10, "ten");
  c.Add(20, "twenty");
  c.Add(30);
  var i = 3, k = "ten", total = 0;
  check("literal position", c.Item(2).Value, 20);
  check("variable position", c.Item(i).Value, 30);
  check("literal key", c.Item("twenty").Value, 20);
  check("variable key", c.Item(k).Value, 10);
  for (i = 1; i <= c.Count; ++i)
    total += c.Item(i).Value;
  check("loop over positions", total, 60);
}

function removes() {
  var c = newCollection();
  c.Add(1, "a");
  c.Add(2, "b");
  c.Add(3);
  c.Remove("a");
  check("remove by key", walk(c), "2,3");
  c.Remove(2);
  check("remove by position", walk(c), "2");
  c.Remove(1);
  check("empty again", c.Count, 0);
}

function walksWithEnumerator() {
  var c = newCollection();
  check("Enumerator over an empty collection", walk(c), "");
  c.Add("x", "k");
  c.Add("y");
  c.Add(3);
  check("Enumerator yields values in order", walk(c), "x,y,3");

  // An Enumerator walks the members the collection had when it was made.
  var e = new Enumerator(c), seen = [];
  c.Add("late");
  for (; !e.atEnd(); e.moveNext()) {
    seen.push(e.item());
    c.Remove(1);
  }
  check("members added after the start are not walked", seen.join(","), "x,y,3");
  check("members removed while walking were still walked", c.Count, 1);
  check("the member added late is left", walk(c), "late");

  // An Enumerator keeps its members when the collection goes.
  c = newCollection();
  c.Add("kept");
  e = new Enumerator(c);
  c = null;
  CollectGarbage();
  check("an Enumerator outlives its collection", e.item(), "kept");
}

function catchesErrors() {
  var c = newCollection();
  c.Add(1);
  c.Add(2, "two");
  checkThrows("position past the end", "Subscript out of range", function () { c.Item(3); });
  checkThrows("position 0", "Subscript out of range", function () { c.Item(0); });
  checkThrows("remove past the end", "Subscript out of range", function () { c.Remove(5); });
  checkThrows("numeric key", "Type mismatch", function () { c.Add(3, 4); });
  checkThrows("null key", "Type mismatch", function () { c.Add(3, null); });
  var threw = false;
  try { c.Remove("no such key"); } catch (e) { threw = true; }
  check("unknown key throws", threw, true);
  check("failures leave the collection as it was", walk(c), "1,2");
}

function asksExistsKeysItemsAndRemovesAll() {
  var c = newCollection();
  check("Keys of an empty collection", new VBArray(c.Keys()).toArray().length, 0);
  check("Items of an empty collection", new VBArray(c.Items()).toArray().length, 0);
  c.Add(1, "apple");
  c.Add("pear");
  c.Add(2.5, "plum");
  c.Add(3, "");
  check("Exists for a key", c.Exists("apple"), true);
  check("Exists for a key not there", c.Exists("cherry"), false);
  check("Exists compares exactly", c.Exists("Apple"), false);
  check("Exists for the empty key", c.Exists(""), true);
  var k = "plum";
  check("Exists for a variable", c.Exists(k), true);
  var keys = new VBArray(c.Keys()).toArray();
  check("Keys in member order", keys.slice(0, 1).concat(keys.slice(2)).join(","), "apple,plum,");
  check("Keys of an unkeyed member", typeof keys[1], "undefined");
  check("Items in member order", new VBArray(c.Items()).toArray().join(","), "1,pear,2.5,3");
  check("Keys is zero-based", new VBArray(c.Keys()).lbound(), 0);
  c.Remove("apple");
  c.Remove(1);
  check("Keys after removals", new VBArray(c.Keys()).toArray().join(","), "plum,");
  check("Items after removals", new VBArray(c.Items()).toArray().join(","), "2.5,3");
  check("Exists after removal", c.Exists("apple"), false);
  checkThrows("Exists with a number", "Type mismatch", function () { c.Exists(1); });
  checkThrows("Exists with null", "Type mismatch", function () { c.Exists(null); });
  var held = c.Item("plum");
  var e = new Enumerator(c);
  c.RemoveAll();
  check("RemoveAll empties", c.Count, 0);
  check("Exists after RemoveAll", c.Exists("plum"), false);
  check("Keys after RemoveAll", new VBArray(c.Keys()).toArray().length, 0);
  check("a held item outlives RemoveAll", held.Value, 2.5);
  check("an Enumerator outlives RemoveAll", e.item(), 2.5);
  c.Add("again", "plum");
  check("a key is free again after RemoveAll", c.Item("plum").Value, "again");
}

function readsJsonIntoCollections() {
  var json = new ActiveXObject("Collection.XJson");
  var data = json.Parse('{"user": {"name": "Ada", "tags": ["x", "y"]}, "n": 3}');
  check("a nested value", data("user")("name").Value, "Ada");
  check("a nested position", data("user")("tags")(2).Value, "y");
  check("a number", data("n").Value, 3);
  check("the example written back", json.Stringify(data), '{"user":{"name":"Ada","tags":["x","y"]},"n":3}');
  // Items stand for the collections they hold.
  check("Count of a nested collection", data("user")("tags").Count, 2);
  check("Keys of a nested collection", new VBArray(data.Item("user").Keys()).toArray().join(","), "name,tags");
  var text = "";
  for (var e = new Enumerator(data("user")("tags")); !e.atEnd(); e.moveNext())
    text += e.item() + ";";
  check("an Enumerator over a nested collection", text, "x;y;");
  var v = json.Parse('[2147483648, 0.1, true, null, "\\ud800", "\\u0000", {}]');
  check("beyond a Long, a number", v(1).Value, 2147483648);
  check("null", v(4).Value, null);
  check("a lone surrogate is one unit", v(5).Value.length + " " + v(5).Value.charCodeAt(0), "1 55296");
  check("a zero character is kept", v(6).Value.length, 1);
  check("an empty object stays an object", json.Stringify(v(7).Value), "{}");
  check("a lone surrogate written", json.Stringify(v(5).Value), '"\\ud800"');
}

function writesJsonFromCollectionsAndDictionaries() {
  var json = new ActiveXObject("Collection.XJson");
  var c = newCollection();
  var d = new ActiveXObject("Scripting.Dictionary");
  d.Add("k", 1.5);
  d.Add(2, null);
  c.Add(d);
  c.Add("text\n\"quoted\"");
  c.Add(json.Parse("[]"));
  check("a collection holding a Dictionary", json.Stringify(c), '[{"k":1.5,"2":null},"text\\n\\"quoted\\"",[]]');
  check("undefined indent", json.Stringify(json.Parse("[1]"), undefined), "[1]");
  var fso = new ActiveXObject("Scripting.FileSystemObject");
  var path = fso.BuildPath(fso.GetSpecialFolder(2), "collection_test_xjson.js.json");
  json.WriteFile(c, path);
  check("a file written and read back", json.Stringify(json.ReadFile(path)), json.Stringify(c));
  check("the file ends with a line feed", fso.OpenTextFile(path).ReadAll().slice(-2), "]\n");
  fso.DeleteFile(path);
}

function catchesJsonErrors() {
  var json = new ActiveXObject("Collection.XJson");
  checkJsonThrows("a missing comma", E_FAIL, "line 1, column 4: expected ',' or ']' after the element",
                  function () { json.Parse("[1 2]"); });
  checkJsonThrows("a bad escape", E_FAIL, "line 2, column 2: invalid escape", function () { json.Parse('\n"\\q"'); });
  checkJsonThrows("a JScript object", E_FAIL, "an object with no JSON form", function () { json.Stringify({a: 1}); });
  var c = newCollection();
  var tags = newCollection();
  tags.Add(1);
  tags.Add([1, 2]);
  c.Add(tags, "tags");
  checkJsonThrows("a JScript array inside", E_FAIL, "tags[2]: an object with no JSON form",
                  function () { json.Stringify(c); });
  var item = json.Parse('{"a": [1]}')("a");
  try {
    item.Nope();
    check("a member the value lacks fails", false, true);
  } catch (e) {
    check("a member the value lacks fails", e.number, -2146827850); // 438: no such property or method
  }
  checkThrows("the value's own error reaches the caller", "Subscript out of range", function () { item(5); });
}

createsByEitherProgId();
addsWithAndWithoutKeys();
replacesByKey();
readsByPositionAndKey();
removes();
walksWithEnumerator();
catchesErrors();
asksExistsKeysItemsAndRemovesAll();
readsJsonIntoCollections();
writesJsonFromCollectionsAndDictionaries();
catchesJsonErrors();

WScript.Echo(passed + " passed, " + failed + " failed");
