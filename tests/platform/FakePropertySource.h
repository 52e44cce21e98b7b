#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/PropertySource.h"

namespace qf::platform::test {

// WMI as a table: per class, the result code and the text of the first
// instance's property (absent: the class has no instance). Records every call.
class FakePropertySource final : public PropertySource {
 public:
  struct Answer {
    int32_t result = kWmiSuccess;
    std::optional<std::u16string> value;  // none: no instance
  };

  void Prepare(std::u16string_view wmiNamespace) override { prepared.emplace_back(wmiNamespace); }

  int32_t GetProperty(std::u16string_view className, std::u16string_view propertyName, std::u16string& out) override {
    queries.push_back(std::u16string(className) + u"." + std::u16string(propertyName));
    const auto it = answers.find(std::u16string(className));
    if (it == answers.end()) return kWmiSuccess;
    const Answer& a = it->second;
    if (a.result == kWmiNoValue) out.clear();
    if (a.result == kWmiSuccess && a.value) out = *a.value;
    return a.result;
  }

  std::map<std::u16string, Answer> answers;
  std::vector<std::u16string> prepared;
  std::vector<std::u16string> queries;
};

}  // namespace qf::platform::test
