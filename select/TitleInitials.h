// The first letters of a chart list's titles for the select screen's letter
// keys, read by a helper thread: a key press never reads a chart on the frame
// thread, however long the list and however slow the disk.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tappo {

class TitleInitials {
  public:
    // A chart's title (its own bytes); "" when it cannot be read. Runs on the
    // helper thread, so it must use nothing the frame thread changes.
    using ReadTitle = std::function<std::string(const std::string& chartPath)>;

    TitleInitials() = default;
    ~TitleInitials();
    TitleInitials(const TitleInitials&) = delete;
    TitleInitials& operator=(const TitleInitials&) = delete;

    // Reads the titles of `charts`, from `first` on and round to the start;
    // a reading under way for an earlier list stops first.
    void Start(std::vector<std::string> charts, size_t first, ReadTitle read);
    void Stop();

    enum class Found { Yes, No, NotYet };
    struct Jump {
        Found found = Found::No;
        size_t index = 0;
    };
    // The next chart after `from`, round the list and `from` itself last,
    // whose title starts with `initial` (as TitleInitial gives it); NotYet
    // when a title before the first match is still to be read.
    Jump Next(size_t from, char initial) const;
    // Every title has been read.
    bool Done() const;

  private:
    void Run(const std::vector<std::string>& charts, size_t first, const ReadTitle& read);

    static constexpr int16_t Unread = -1;
    mutable std::mutex mutex_;
    std::vector<int16_t> initials_; // TitleInitial by list index; Unread until read
    size_t unread_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

} // namespace tappo
