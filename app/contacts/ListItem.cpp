#include "app/contacts/ListItem.h"

std::string ListItemText(int n, std::string_view text) {
    std::string number = std::to_string(n);
    if (number.size() < 2) {
        number.insert(0, 2 - number.size(), ' ');
    }
    return number + ": " + std::string(text);
}
