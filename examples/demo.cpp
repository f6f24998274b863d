//===- demo.cpp - A tour of the value library -----------------------------===//
//
// Makes values of each kind, reads them through the typed accessors that
// convert between kinds, and prints them.
//
//===----------------------------------------------------------------------===//

#include <Collection/Collection.h>

#include <iomanip>
#include <iostream>

using namespace Zorbin::Tessel;
using namespace Zorbin::Tessel::Collection;

namespace {

// Values live by reference counts: a handle adopts the reference a new value
// is born with and releases it when it goes out of scope.
template <typename Kind, typename Argument> Runtime::Ref<const Value> Hold(Argument argument) {
  return Runtime::Ref<const Value>(new Kind(argument));
}

void Show(const char *label, const Value &value) {
  std::cout << std::left << std::setw(24) << label << std::right << " prints ";
  value.Print(std::cout);
  std::cout << "  | bool " << std::boolalpha << value.BoolValue() << "  int " << value.IntValue()
            << "  unsigned " << value.UnsignedIntValue() << "  double " << value.DoubleValue()
            << "  string \"" << value.StringValue() << "\"\n";
}

} // namespace

int main() {
  std::cout << "== Every value answers every accessor ==\n";
  Show("Boolean::True()", Boolean::True());
  Show("Number(-1L)", Number(-1L));
  Show("Number(4294967295ul)", Number(4294967295ul));
  Show("Number(3.99)", Number(3.99));
  Show("Number(-3.99)", Number(-3.99));
  Show("Number(5e9)", Number(5e9));
  Show("String(\"  42 apples\")", *Hold<String>(std::string("  42 apples")));
  Show("String(\"1e3\")", *Hold<String>(std::string("1e3")));
  Show("String(\"false\")", *Hold<String>(std::string("false")));
  Show("Value::Null()", Value::Null());

  std::cout << "\n== Equality never crosses kinds ==\n" << std::boolalpha;
  auto one = Hold<String>(std::string("1"));
  std::cout << "Number(1L) == Number(1.0f):     " << (Number(1L) == Number(1.0f)) << '\n';
  std::cout << "Number(1L) == String(\"1\"):      " << (Number(1L) == *one) << '\n';
  std::cout << "Number(1L) == Boolean::True():  "
            << (Number(1L) == static_cast<const Value &>(Boolean::True())) << '\n';
  std::cout << "Value::Null() == Value::Null(): " << (Value::Null() == Value::Null()) << '\n';

  std::cout << "\n== Print honours the caller's stream, ToString does not ==\n";
  Number byte(255L);
  std::cout << "hex stream: ";
  std::cout << std::hex << std::showbase;
  byte.Print(std::cout);
  std::cout << std::dec << std::noshowbase << "   ToString: " << byte.ToString() << '\n';

  std::cout << "\n== Lookups on a value that holds nothing answer the null value ==\n";
  std::cout << "Number(7L)[\"width\"] is null: " << Number(7L)["width"].IsNull() << '\n';
  return 0;
}
