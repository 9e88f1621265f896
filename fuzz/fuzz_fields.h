// Field lists for fuzz targets that work on records without a table file.
#pragma once
#include <cstdint>
#include <vector>

#include "bde/fields.h"

namespace fuzzutil {

// Appends fields one after another, the first at offset 1 (after the deletion byte).
class TFieldListBuilder {
public:
    TFieldListBuilder& Add(const char* name, char type, bde::TDbfFieldKind kind, uint16_t len,
                           uint8_t dec = 0) {
        bde::TDbfFieldDesc d;
        d.Name = name;
        d.Type = type;
        d.Kind = kind;
        d.Length = len;
        d.Decimals = dec;
        d.Offset = offset_;
        offset_ += len;
        fields_.push_back(d);
        return *this;
    }
    std::vector<bde::TDbfFieldDesc> Fields() const { return fields_; }

private:
    std::vector<bde::TDbfFieldDesc> fields_;
    uint32_t offset_ = 1;
};

}  // namespace fuzzutil
