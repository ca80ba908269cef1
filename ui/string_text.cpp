#include "ui/string_text.h"

#include "res/strings.h"

wxString Text(unsigned id) {
    const char* text = LoadStringText(id);
    return text != nullptr ? wxString::FromUTF8(text) : wxString();
}
