#pragma once

#include "workspace/pager.h"

#include <optional>

namespace quill::browse {

using workspace::kPageSize;

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
    int docPos = 0;           // documents passed; after a load, the position of the last listed one
    int docCount = 0;         // 0: no view listed
    int pageStart = 0;        // documents passed before the first one now listed
    bool reportStyle = false; // the list shows documents, not a database's views
};

// The docPos to reload from, or nullopt when the command does nothing. "Previous" goes to the
// page before the first document listed, "Last" to the page holding the view's last document.
std::optional<int> pagePosition(PageCommand command, const PagingState& state);

} // namespace quill::browse
