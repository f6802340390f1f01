#pragma once
#include <cstdint>
#include <string>
#include <string_view>

// One row of a contacts or call-history list: the text shown and the entry's slot.
struct ListItem {
    std::string text;
    int32_t data = 0;

    bool operator==(const ListItem& other) const = default;
};

// The row text for running number `n` (from 1): the number right-aligned in two characters
// (" 9", "10", and "100" once it needs three), a colon, a blank and `text`.
std::string ListItemText(int n, std::string_view text);
