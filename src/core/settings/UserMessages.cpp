#include "settings/UserMessages.h"

#include <utility>

namespace ka {

std::string PathMessage(const std::string& path, const std::string& text) {
    const std::size_t start = text.find_first_not_of(' ');
    return path + "\n" + (start == std::string::npos ? std::string() : text.substr(start));
}

void RefusedItems::Add(const std::string& item) {
    if (first_.size() < kShown) {
        first_.push_back(item);
    }
    ++count_;
}

std::string RefusedItems::Message(const std::string& one, const std::string& many,
                                  const std::string& reason) const {
    if (count_ == 0) {
        return {};
    }
    std::string text = std::to_string(count_) + " " + (count_ == 1 ? one : many) + ": " + reason;
    for (const std::string& item : first_) {
        text += "\n" + item;
    }
    if (count_ > first_.size()) {
        text += "\n... and " + std::to_string(count_ - first_.size()) + " more";
    }
    return text;
}

void HeldMessages::Flush(MessageSink& sink) {
    // Taken out first: a sink that shows a box may run events that hold new messages.
    std::vector<std::string> messages = std::move(held_);
    held_.clear();
    for (const std::string& text : messages) {
        sink.ShowMsg(text);
    }
}

}  // namespace ka
