#include "ui/string_text.h"

#include "ui/ui_strings.h"

wxString Text(unsigned id) {
    const char* text = LoadUiStringText(id);
    return text != nullptr ? wxString::FromUTF8(text) : wxString();
}
