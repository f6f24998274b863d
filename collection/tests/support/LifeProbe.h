//===- LifeProbe.h - A value that reports its own destruction ---*- C++ -*-===//
#ifndef COLLECTION_TESTS_SUPPORT_LIFEPROBE_H
#define COLLECTION_TESTS_SUPPORT_LIFEPROBE_H

#include <Collection/Value.h>

#include <string>
#include <utility>
#include <vector>

namespace CollectionTest {

/// A value kind that appends its name to a log when it is destroyed, so a
/// test sees exactly when (and in which order) containers let values die.
class LifeProbe : public Zorbin::Tessel::Collection::Value {
public:
  LifeProbe(std::vector<std::string> &deaths, std::string name) : m_deaths(deaths), m_name(std::move(name)) {}

  static bool Died(const std::vector<std::string> &deaths, const std::string &name) {
    for (const std::string &dead : deaths)
      if (dead == name)
        return true;
    return false;
  }

protected:
  ~LifeProbe() override { m_deaths.push_back(m_name); }

private:
  std::vector<std::string> &m_deaths;
  std::string m_name;
};

} // namespace CollectionTest

#endif // COLLECTION_TESTS_SUPPORT_LIFEPROBE_H
