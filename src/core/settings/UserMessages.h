// Building the texts shown to the user: a path kept apart from what is said about it, many
// refused items told in one message, and messages held back until the window is ready.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "settings/Orrin1.h"

namespace ka {

// Said after the path of a file that cannot be opened, read or written whole.
inline constexpr const char* kMsgCannotOpen = "Cannot open file!";
// Said after the parameter file's path.
inline constexpr const char* kMsgCannotOpenParFile = "Cannot open parameter file!";
inline constexpr const char* kMsgCannotCreateParFile = "Cannot create parameter file!";
// Said after the converter's path.
inline constexpr const char* kMsgConverterCannotStart = "Korvane program cannot be started!";
inline constexpr const char* kMsgNoBatchFile = "There is no specification of batch file!";

// The path, a line break, then the text (its leading blanks dropped): a path glued to the text
// reads as one long name.
std::string PathMessage(const std::string& path, const std::string& text);

// Items refused for one reason during one action. Counts them all and keeps only the first
// few, so a million refusals cost no more memory than five.
class RefusedItems {
  public:
    static constexpr std::size_t kShown = 5;

    void Add(const std::string& item);
    std::size_t Count() const { return count_; }

    // Empty when nothing was refused. Otherwise "<count> <one or many>: <reason>", then the
    // first items one per line, then how many more there were.
    std::string Message(const std::string& one, const std::string& many,
                        const std::string& reason) const;

  private:
    std::size_t count_ = 0;
    std::vector<std::string> first_;
};

// Keeps messages until Flush hands them on, in order.
class HeldMessages : public MessageSink {
  public:
    void ShowMsg(const std::string& text) override { held_.push_back(text); }
    void Flush(MessageSink& sink);

  private:
    std::vector<std::string> held_;
};

}  // namespace ka
