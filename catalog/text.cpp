#include "catalog/text.h"

std::string UpperCase(std::string_view text) {
    std::string result(text);
    for (char& c : result) {
        c = UpperCaseChar(c);
    }
    return result;
}

void UpperCaseInPlace(char* text) {
    if (text == nullptr) {
        return;
    }
    for (; *text != '\0'; ++text) {
        *text = UpperCaseChar(*text);
    }
}

bool Contains(std::string_view haystack, std::string_view needle) {
    return haystack.find(needle) != std::string_view::npos;
}
