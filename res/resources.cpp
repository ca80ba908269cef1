#include "res/resources.h"

#include <cstring>

bool FindEmbeddedResource(const char* name, const char* type, const unsigned char*& data, size_t& size) {
    if (name == nullptr || type == nullptr) return false;
    for (const EmbeddedResource* r = EmbeddedResourceTable(); r->name != nullptr; ++r) {
        if (std::strcmp(r->name, name) == 0 && std::strcmp(r->type, type) == 0) {
            data = r->data;
            size = r->size;
            return true;
        }
    }
    return false;
}
