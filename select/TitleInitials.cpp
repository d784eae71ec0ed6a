#include "select/TitleInitials.h"

#include "select/SelectScreen.h"

#include <exception>
#include <system_error>

namespace tappo {

TitleInitials::~TitleInitials() {
    Stop();
}

void TitleInitials::Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    stop_ = false;
}

void TitleInitials::Start(std::vector<std::string> charts, size_t first, ReadTitle read) {
    Stop();
    {
        // Without a reader no title is known: no letter finds a chart.
        const std::lock_guard<std::mutex> lock(mutex_);
        initials_.assign(charts.size(), read ? Unread : 0);
        unread_ = read ? charts.size() : 0;
    }
    if (charts.empty() || !read) return;
    first %= charts.size();
    try {
        thread_ = std::thread(&TitleInitials::Run, this, std::move(charts), first, std::move(read));
    } catch (const std::system_error&) {
        // No thread to read them: no title is known, and no letter finds a chart.
        const std::lock_guard<std::mutex> lock(mutex_);
        initials_.assign(initials_.size(), 0);
        unread_ = 0;
    }
}

void TitleInitials::Run(const std::vector<std::string>& charts, size_t first,
                        const ReadTitle& read) {
    for (size_t k = 0; k < charts.size() && !stop_; ++k) {
        const size_t i = (first + k) % charts.size();
        char initial = 0;
        try {
            initial = TitleInitial(read(charts[i]));
        } catch (const std::exception&) {
            // A chart that cannot be read has no initial: no letter finds it.
        }
        const std::lock_guard<std::mutex> lock(mutex_);
        initials_[i] = int16_t(uint8_t(initial));
        --unread_;
    }
}

TitleInitials::Jump TitleInitials::Next(size_t from, char initial) const {
    const std::lock_guard<std::mutex> lock(mutex_);
    const size_t count = initials_.size();
    for (size_t i = 1; i <= count; ++i) {
        const size_t at = (from + i) % count;
        if (initials_[at] == Unread) return {Found::NotYet, 0};
        if (initials_[at] == int16_t(uint8_t(initial))) return {Found::Yes, at};
    }
    return {};
}

bool TitleInitials::Done() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return unread_ == 0;
}

} // namespace tappo
