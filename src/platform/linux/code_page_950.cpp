#include "platform/code_page_950.h"

#include <cerrno>
#include <iconv.h>

namespace {

// iconv descriptors hold conversion state, so each thread keeps its own pair.
class CThreadConverter {
public:
    CThreadConverter(const char* to, const char* from) : m_hConverter(iconv_open(to, from)) {}
    ~CThreadConverter()
    {
        if (IsValid())
            iconv_close(m_hConverter);
    }
    CThreadConverter(const CThreadConverter&) = delete;
    CThreadConverter& operator=(const CThreadConverter&) = delete;

    bool IsValid() const { return m_hConverter != reinterpret_cast<iconv_t>(-1); }

    bool ConvertUntilBad(std::string_view& input, std::string& output)
    {
        if (!IsValid())
            return false;
        iconv(m_hConverter, nullptr, nullptr, nullptr, nullptr);
        char* in = const_cast<char*>(input.data());
        size_t inLeft = input.size();
        char buffer[1024];
        bool bWhole = true;
        while (inLeft > 0) {
            char* out = buffer;
            size_t outLeft = sizeof(buffer);
            const size_t result = iconv(m_hConverter, &in, &inLeft, &out, &outLeft);
            output.append(buffer, out - buffer);
            if (result == static_cast<size_t>(-1) && errno != E2BIG) {
                bWhole = false;
                break;
            }
        }
        input.remove_prefix(input.size() - inLeft);
        return bWhole;
    }

private:
    iconv_t m_hConverter;
};

} // namespace

bool CCodePage950::ConvertUntilBad(Direction direction, std::string_view& input, std::string& output)
{
    thread_local CThreadConverter toUtf8("UTF-8", "CP950");
    thread_local CThreadConverter fromUtf8("CP950", "UTF-8");
    return (direction == Direction::ToUtf8 ? toUtf8 : fromUtf8).ConvertUntilBad(input, output);
}
