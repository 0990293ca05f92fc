#include "code_page.h"

#include <cerrno>
#include <iconv.h>

#include "tag_bytes.h"
#include "text_encoding.h"

namespace tunelo {

using tagbytes::SameIgnoringCase;

namespace {

// An iconv descriptor that is closed however the conversion ends.
class TConverter {
public:
    explicit TConverter(const std::string& from) : FHandle(iconv_open("UTF-8", from.c_str())) {}
    ~TConverter() {
        if (Valid()) {
            iconv_close(FHandle);
        }
    }
    TConverter(const TConverter&) = delete;
    TConverter& operator=(const TConverter&) = delete;

    bool Valid() const { return FHandle != reinterpret_cast<iconv_t>(-1); }
    iconv_t Handle() const { return FHandle; }

private:
    iconv_t FHandle;
};

} // namespace

bool IsLatin1(std::string_view codePage) {
    for (std::string_view name : {"", "ISO-8859-1", "ISO8859-1", "LATIN1", "LATIN-1", "L1"}) {
        if (SameIgnoringCase(codePage, name)) {
            return true;
        }
    }
    return false;
}

bool ConvertFromCodePage(std::string_view bytes, std::string_view codePage, std::string& utf8) {
    TConverter converter{std::string(codePage)};
    if (!converter.Valid()) {
        return false;
    }
    utf8.clear();
    char* in = const_cast<char*>(bytes.data());
    size_t inLeft = bytes.size();
    char buffer[256];
    while (inLeft > 0) {
        char* out = buffer;
        size_t outLeft = sizeof buffer;
        const size_t result = iconv(converter.Handle(), &in, &inLeft, &out, &outLeft);
        const int error = errno;
        utf8.append(buffer, static_cast<size_t>(out - buffer));
        if (result != static_cast<size_t>(-1)) {
            continue;
        }
        if (error == E2BIG) {
            continue;
        } else if (error == EILSEQ) {
            utf8 += "\xEF\xBF\xBD";
            ++in;
            --inLeft;
        } else {
            // EINVAL: the last character was cut off by the end of its field.
            break;
        }
    }
    return true;
}

bool IsKnownCodePage(std::string_view codePage) {
    return IsLatin1(codePage) || TConverter{std::string(codePage)}.Valid();
}

} // namespace tunelo
