// Finds a GUID written after the word "guid" in a text ("guid{01234567-...}"), so that such a
// text can be written as a GUID literal rather than as Unicode text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

class ole_guid_extractor {
public:
    explicit ole_guid_extractor(std::u16string_view text);

    bool is_valid() const { return valid_; }
    // The 38 characters from the GUID's position (fewer when the text ends sooner); empty
    // when not valid.
    std::u16string get_guid() const;

private:
    int32_t position_ = -1;
    std::u16string text_;
    bool valid_ = false;
};
