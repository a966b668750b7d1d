#pragma once

#include <optional>

namespace quill::browse {

inline constexpr int kPageSize = 100;

enum class PageCommand
{
    First,
    Previous,
    Next,
    Last
};

// What the paging commands look at.
struct PagingState
{
    int docPos = 0;    // documents passed; after a load, the position of the last listed one
    int docCount = 0;  // 0: no view listed
    int pageStart = 0; // documents passed before the first one now listed
    bool reportStyle = false;
};

// The docPos to reload from, or nullopt when the command does nothing. "Previous" goes to the
// page before the first document listed, "Last" to the page holding the view's last document.
std::optional<int> pagePosition(PageCommand command, const PagingState& state);

} // namespace quill::browse
