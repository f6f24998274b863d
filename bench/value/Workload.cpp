//===- Workload.cpp - The data every library is measured on ---------------===//

#include "Workload.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <memory>

namespace CollectionBench {

namespace {

/// SplitMix64: small, fast and the same sequence on every machine.
class Random {
public:
  explicit Random(std::uint64_t seed) : m_state(seed) {}

  std::uint64_t Next() {
    std::uint64_t z = (m_state += 0x9e3779b97f4a7c15u);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9u;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebu;
    return z ^ (z >> 31);
  }
  std::size_t Below(std::size_t bound) { return static_cast<std::size_t>(Next() % bound); }

  template <typename T> void Shuffle(std::vector<T> &items) {
    for (std::size_t i = items.size(); i > 1; --i)
      std::swap(items[i - 1], items[Below(i)]);
  }

private:
  std::uint64_t m_state;
};

// Keys of 8 to 24 bytes: random letters, then the key's index in four base-36
// digits, which keeps up to 36^4 = 1,679,616 keys of one call unique. Keys
// made with `upper` have upper-case letters and so never equal a key made
// without it.
std::vector<std::string> MakeKeys(std::size_t count, std::uint64_t seed, std::size_t firstIndex = 0,
                                  bool upper = false) {
  static const char digits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  Random random(seed);
  std::vector<std::string> keys;
  keys.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    std::size_t length = 8 + random.Below(17);
    std::string key;
    key.reserve(length);
    for (std::size_t k = 0; k + 4 < length; ++k)
      key += static_cast<char>((upper ? 'A' : 'a') + random.Below(26));
    std::size_t index = firstIndex + i;
    for (int place = 3; place >= 0; --place) {
      std::size_t divisor = 1;
      for (int p = 0; p < place; ++p)
        divisor *= 36;
      key += digits[(index / divisor) % 36];
    }
    keys.push_back(std::move(key));
  }
  return keys;
}

std::size_t Root(std::size_t n, double power) {
  return std::max<std::size_t>(2, static_cast<std::size_t>(std::lround(std::pow(static_cast<double>(n), power))));
}

template <typename Workload> const Workload &Memoized(std::size_t n, Workload (*make)(std::size_t)) {
  static std::map<std::size_t, std::unique_ptr<Workload>> made;
  std::unique_ptr<Workload> &slot = made[n];
  if (!slot)
    slot.reset(new Workload(make(n)));
  return *slot;
}

FlatWorkload MakeFlat(std::size_t n) {
  FlatWorkload workload;
  workload.keys = MakeKeys(n, 1);
  Random random(2);
  workload.items.resize(n);
  for (std::size_t i = 0; i < n; ++i) {
    Item &item = workload.items[i];
    item.isText = i % 2 == 1;
    if (item.isText)
      item.text = "v" + std::to_string(random.Below(10000000));
    else
      item.number = static_cast<int>(random.Next());
  }
  workload.lookupKeys = workload.keys;
  random.Shuffle(workload.lookupKeys);
  workload.missingKeys = MakeKeys(n, 3, 0, true);
  return workload;
}

NestedWorkload MakeNested(std::size_t n) {
  NestedWorkload workload;
  std::size_t fanout = Root(n, 1.0 / 3.0);
  for (std::size_t level = 0; level < 3; ++level)
    workload.levels[level] = MakeKeys(fanout, 10 + level);
  for (std::uint32_t a = 0; a < fanout; ++a)
    for (std::uint32_t b = 0; b < fanout; ++b)
      for (std::uint32_t c = 0; c < fanout; ++c)
        workload.paths.push_back({a, b, c});
  Random(4).Shuffle(workload.paths);
  return workload;
}

MergeWorkload MakeMerge(std::size_t n) {
  MergeWorkload workload;
  std::size_t top = Root(n, 0.5);
  std::size_t leaves = std::max<std::size_t>(2, n / top);
  workload.top = MakeKeys(top, 20);
  workload.baseLeaves = MakeKeys(leaves, 21);
  std::vector<std::string> fresh = MakeKeys(leaves / 2, 22, leaves);
  for (std::size_t i = 0; i < leaves; i += 2)
    workload.overlayLeaves.push_back(workload.baseLeaves[i]);
  workload.overlayLeaves.insert(workload.overlayLeaves.end(), fresh.begin(), fresh.end());
  return workload;
}

TextWorkload MakeTexts(std::size_t n) {
  TextWorkload workload;
  Random random(5);
  char buffer[64];
  for (std::size_t i = 0; i < n; ++i) {
    workload.integers.push_back(std::to_string(static_cast<std::int32_t>(random.Next())));
    double mantissa = static_cast<double>(random.Next() >> 11) / 9007199254740992.0;
    if (random.Next() % 2)
      mantissa = -mantissa;
    if (i % 2 == 0)
      std::snprintf(buffer, sizeof buffer, "%.17g",
                    std::ldexp(mantissa, static_cast<int>(random.Below(2000)) - 1000));
    else
      std::snprintf(buffer, sizeof buffer, "%.2f", mantissa * 1000.0);
    workload.decimals.push_back(buffer);
  }
  return workload;
}

} // namespace

const FlatWorkload &Flat(std::size_t n) { return Memoized(n, MakeFlat); }
const NestedWorkload &Nested(std::size_t n) { return Memoized(n, MakeNested); }
const MergeWorkload &Merge(std::size_t n) { return Memoized(n, MakeMerge); }
const TextWorkload &Texts(std::size_t n) { return Memoized(n, MakeTexts); }

} // namespace CollectionBench
