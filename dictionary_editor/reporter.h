// Where the dictionary code sends the messages a user must see. The editor
// shows each in a message box; the command-line tool and the tests collect
// them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace Quellmar::dictionary {

class Reporter {
 public:
  virtual ~Reporter() = default;
  virtual void Report(std::string_view text, std::string_view caption) = 0;
};

struct ReportedMessage {
  std::string text;
  std::string caption;
  bool operator==(const ReportedMessage&) const = default;
};

class CollectingReporter : public Reporter {
 public:
  void Report(std::string_view text, std::string_view caption) override {
    messages.push_back({std::string(text), std::string(caption)});
  }
  std::vector<ReportedMessage> messages;
};

}  // namespace Quellmar::dictionary
