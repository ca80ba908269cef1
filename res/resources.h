#pragma once
// Resources embedded into the program at build time, found by name and type.
#include <cstddef>

struct EmbeddedResource {
    const char* name;
    const char* type;
    const unsigned char* data;
    size_t size;
};

// The table of embedded resources, ended by an entry with a null name.
const EmbeddedResource* EmbeddedResourceTable();

// Finds a resource; false when none has that name and type.
bool FindEmbeddedResource(const char* name, const char* type, const unsigned char*& data, size_t& size);
