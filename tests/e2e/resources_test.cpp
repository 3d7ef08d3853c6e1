#include <gtest/gtest.h>

#include <stdint.h>
#include <string.h>

#include <string>
#include <vector>

#include "harness.h"
#include "resource.h"
#include "unique_any.h"

namespace {

const WORD kJapanese = MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT);

// The executable's resources, as bytes, in the language Japanese.
class Resources : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_image.reset(
            ::LoadLibraryExA((test::ProgramDir() + "\\larkbell.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
        ASSERT_TRUE(m_image.valid());
    }

    std::vector<BYTE> Bytes(LPCSTR type, LPCSTR name) const
    {
        HRSRC found = ::FindResourceExA(m_image.get(), type, name, kJapanese);
        HGLOBAL loaded = found ? ::LoadResource(m_image.get(), found) : nullptr;
        const BYTE* data = static_cast<const BYTE*>(loaded ? ::LockResource(loaded) : nullptr);
        return data ? std::vector<BYTE>(data, data + ::SizeofResource(m_image.get(), found)) : std::vector<BYTE>();
    }
    std::vector<BYTE> Bytes(LPCSTR type, int id) const { return Bytes(type, MAKEINTRESOURCEA(id)); }

    fw::UniqueModule m_image;
};

// Reads little-endian fields in order, never past the end.
class Reader {
public:
    Reader(const BYTE* data, size_t size)
        : m_data(data)
        , m_size(size)
    {
    }
    explicit Reader(const std::vector<BYTE>& bytes)
        : Reader(bytes.data(), bytes.size())
    {
    }

    bool ok() const { return m_ok; }
    size_t offset() const { return m_offset; }
    size_t left() const { return m_ok ? m_size - m_offset : 0; }

    uint32_t Field(size_t size)
    {
        if (!m_ok || m_size - m_offset < size) {
            m_ok = false;
            return 0;
        }
        uint32_t value = 0;
        for (size_t i = 0; i < size; ++i)
            value |= static_cast<uint32_t>(m_data[m_offset + i]) << (8 * i);
        m_offset += size;
        return value;
    }
    uint8_t Byte() { return static_cast<uint8_t>(Field(1)); }
    uint16_t Word() { return static_cast<uint16_t>(Field(2)); }
    uint32_t Dword() { return Field(4); }
    int16_t Short() { return static_cast<int16_t>(Word()); }

    // A NUL-terminated UTF-16 text.
    std::wstring Text()
    {
        std::wstring text;
        for (uint16_t c = Word(); m_ok && c != 0; c = Word())
            text += static_cast<wchar_t>(c);
        return text;
    }

    // A name or number field of a dialog template: 0 (none), 0xFFFF and an
    // ordinal, or a text. Ordinals come back as "#n".
    std::wstring NameOrOrdinal()
    {
        const uint16_t first = Word();
        if (first == 0)
            return L"";
        if (first == 0xFFFF)
            return L"#" + std::to_wstring(Word());
        m_offset -= 2;
        return Text();
    }

    void AlignTo(size_t base, size_t boundary)
    {
        while (m_ok && (m_offset - base) % boundary != 0)
            Byte();
    }

private:
    const BYTE* m_data;
    size_t m_size;
    size_t m_offset = 0;
    bool m_ok = true;
};

struct DialogItem {
    uint32_t exStyle;
    uint32_t style;
    RECT box; // x, y, cx, cy
    uint32_t id;
    std::wstring windowClass;
    std::wstring title;
};

struct Dialog {
    uint32_t exStyle;
    uint32_t style;
    RECT box;
    std::wstring menu;
    std::wstring windowClass;
    std::wstring caption;
    uint16_t pointSize;
    std::wstring face;
    std::vector<DialogItem> items;
    bool ok;
};

Dialog ParseDialogEx(const std::vector<BYTE>& bytes)
{
    Dialog d = {};
    Reader r(bytes);
    const uint16_t version = r.Word();
    const uint16_t signature = r.Word();
    if (version != 1 || signature != 0xFFFF)
        return d;
    r.Dword(); // help id
    d.exStyle = r.Dword();
    d.style = r.Dword();
    const uint16_t count = r.Word();
    d.box.left = r.Short();
    d.box.top = r.Short();
    d.box.right = r.Short();
    d.box.bottom = r.Short();
    d.menu = r.NameOrOrdinal();
    d.windowClass = r.NameOrOrdinal();
    d.caption = r.Text();
    if (d.style & DS_SETFONT) {
        d.pointSize = r.Word();
        r.Word(); // weight
        r.Byte(); // italic
        r.Byte(); // character set
        d.face = r.Text();
    }
    for (uint16_t i = 0; i < count && r.ok(); ++i) {
        r.AlignTo(0, 4);
        DialogItem item = {};
        r.Dword(); // help id
        item.exStyle = r.Dword();
        item.style = r.Dword();
        item.box.left = r.Short();
        item.box.top = r.Short();
        item.box.right = r.Short();
        item.box.bottom = r.Short();
        item.id = r.Dword();
        item.windowClass = r.NameOrOrdinal();
        item.title = r.NameOrOrdinal();
        const uint16_t extra = r.Word();
        for (uint16_t b = 0; b < extra; ++b)
            r.Byte();
        d.items.push_back(item);
    }
    d.ok = r.ok();
    return d;
}

void ExpectBox(const RECT& box, int x, int y, int cx, int cy, const char* what)
{
    EXPECT_EQ(box.left, x) << what;
    EXPECT_EQ(box.top, y) << what;
    EXPECT_EQ(box.right, cx) << what;
    EXPECT_EQ(box.bottom, cy) << what;
}

const wchar_t kFace[] = L"ＭＳ Ｐゴシック";

// A control's class, given by name (any case) or by the system's ordinal.
bool IsClass(const std::wstring& windowClass, const wchar_t* name, int ordinal)
{
    return windowClass == L"#" + std::to_wstring(ordinal) || _wcsicmp(windowClass.c_str(), name) == 0;
}

// One node of the version record: key, value bytes and children, in order.
struct VersionNode {
    std::wstring key;
    uint16_t type; // 1 text, 0 binary
    std::vector<BYTE> value;
    std::vector<VersionNode> children;
};

bool ParseVersionNode(const BYTE* data, size_t size, VersionNode* node)
{
    Reader r(data, size);
    const uint16_t length = r.Word();
    const uint16_t valueLength = r.Word();
    node->type = r.Word();
    node->key = r.Text();
    r.AlignTo(0, 4);
    if (!r.ok() || length > size || length < r.offset())
        return false;
    // Text values count UTF-16 units, binary ones bytes.
    const size_t valueBytes = node->type == 1 ? valueLength * 2u : valueLength;
    const size_t valueEnd = r.offset() + valueBytes;
    if (valueEnd > length)
        return false;
    node->value.assign(data + r.offset(), data + valueEnd);
    size_t at = (valueEnd + 3) & ~size_t(3);
    while (at + 6 <= length) {
        VersionNode child;
        const uint16_t childLength = static_cast<uint16_t>(data[at] | (data[at + 1] << 8));
        if (childLength == 0 || at + childLength > length || !ParseVersionNode(data + at, childLength, &child))
            return false;
        node->children.push_back(child);
        at = (at + childLength + 3) & ~size_t(3);
    }
    return true;
}

std::wstring TextValue(const VersionNode& node)
{
    Reader r(node.value);
    std::wstring text;
    while (r.left() >= 2) {
        const uint16_t c = r.Word();
        if (c == 0)
            break;
        text += static_cast<wchar_t>(c);
    }
    return text;
}

} // namespace

TEST_F(Resources, NotifierTemplate)
{
    const Dialog d = ParseDialogEx(Bytes(RT_DIALOG, IDD_NOTIFIER));
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.style, 0x90000040u);
    EXPECT_EQ(d.exStyle, 0x00080000u);
    ExpectBox(d.box, 0, 0, 91, 98, "notifier");
    EXPECT_EQ(d.menu, L"");
    EXPECT_EQ(d.windowClass, L"");
    EXPECT_EQ(d.caption, L"");
    EXPECT_EQ(d.pointSize, 9);
    EXPECT_EQ(d.face, kFace);
    EXPECT_TRUE(d.items.empty());
}

TEST_F(Resources, AboutTemplate)
{
    const Dialog d = ParseDialogEx(Bytes(RT_DIALOG, IDD_ABOUTBOX));
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.style, 0x80C800C0u);
    EXPECT_EQ(d.exStyle, 0u);
    ExpectBox(d.box, 0, 0, 235, 55, "about");
    EXPECT_EQ(d.menu, L"");
    EXPECT_EQ(d.windowClass, L"");
    EXPECT_EQ(d.caption, L"larkbellのﾊﾞｰｼﾞｮﾝ情報");
    EXPECT_EQ(d.pointSize, 9);
    EXPECT_EQ(d.face, kFace);

    ASSERT_EQ(d.items.size(), 4u);
    const DialogItem& icon = d.items[0];
    EXPECT_TRUE(IsClass(icon.windowClass, L"Static", 0x82));
    EXPECT_EQ(static_cast<int16_t>(icon.id), -1);
    EXPECT_EQ(icon.title, L"#128");
    EXPECT_EQ(icon.style, 0x50000003u);
    ExpectBox(icon.box, 11, 17, 20, 20, "icon");

    const DialogItem& version = d.items[1];
    EXPECT_TRUE(IsClass(version.windowClass, L"Static", 0x82));
    EXPECT_EQ(static_cast<int16_t>(version.id), -1);
    EXPECT_EQ(version.title, L"larkbell Version 1.0");
    EXPECT_EQ(version.style, 0x50020080u);
    ExpectBox(version.box, 40, 10, 119, 8, "version line");

    const DialogItem& second = d.items[2];
    EXPECT_TRUE(IsClass(second.windowClass, L"Static", 0x82));
    EXPECT_EQ(static_cast<int16_t>(second.id), -1);
    EXPECT_NE(second.title, L"");
    EXPECT_EQ(second.style, 0x50020000u);
    ExpectBox(second.box, 40, 25, 119, 8, "second line");

    const DialogItem& ok = d.items[3];
    EXPECT_TRUE(IsClass(ok.windowClass, L"Button", 0x80));
    EXPECT_EQ(ok.id, static_cast<uint32_t>(IDOK));
    EXPECT_EQ(ok.title, L"OK");
    EXPECT_EQ(ok.style, 0x50030001u);
    ExpectBox(ok.box, 178, 7, 50, 14, "OK button");

    for (const DialogItem& item : d.items)
        EXPECT_EQ(item.exStyle, 0u);
}

TEST_F(Resources, AboutItemStringIsTheBlocksOnlyString)
{
    // Strings come in blocks of 16; 101 is entry 5 of block 7.
    const std::vector<BYTE> block = Bytes(RT_STRING, IDS_ABOUTBOX / 16 + 1);
    ASSERT_FALSE(block.empty());
    Reader r(block);
    std::vector<std::wstring> strings;
    for (int i = 0; i < 16; ++i) {
        const uint16_t length = r.Word();
        std::wstring s;
        for (uint16_t c = 0; c < length; ++c)
            s += static_cast<wchar_t>(r.Word());
        strings.push_back(s);
    }
    ASSERT_TRUE(r.ok());
    for (int i = 0; i < 16; ++i) {
        const std::wstring expected = i == IDS_ABOUTBOX % 16 ? L"larkbell のﾊﾞｰｼﾞｮﾝ情報(&A)..." : L"";
        EXPECT_EQ(strings[i], expected) << "entry " << i;
    }

    // Through the ANSI call, in code page 932.
    char text[128] = {};
    EXPECT_GT(::LoadStringA(m_image.get(), IDS_ABOUTBOX, text, sizeof text), 0);
    EXPECT_STREQ(text, "larkbell のﾊﾞｰｼﾞｮﾝ情報(&A)...");
}

TEST_F(Resources, IconGroupAndItsImages)
{
    const std::vector<BYTE> group = Bytes(RT_GROUP_ICON, IDR_MAINFRAME);
    Reader r(group);
    EXPECT_EQ(r.Word(), 0); // reserved
    EXPECT_EQ(r.Word(), 1); // icon
    ASSERT_EQ(r.Word(), 8);
    const int sizes[] = { 128, 96, 72, 64, 48, 32, 24, 16 };
    const int bitCounts[] = { 32, 32, 32, 32, 32, 24, 32, 32 };
    const uint32_t byteCounts[] = { 67624, 38056, 21640, 16936, 9640, 3240, 2440, 1128 };
    for (int i = 0; i < 8; ++i) {
        SCOPED_TRACE("image " + std::to_string(i + 1));
        EXPECT_EQ(r.Byte(), sizes[i]); // width
        EXPECT_EQ(r.Byte(), sizes[i]); // height
        EXPECT_EQ(r.Byte(), 0); // colours
        r.Byte();
        EXPECT_EQ(r.Word(), 1); // planes
        EXPECT_EQ(r.Word(), bitCounts[i]);
        EXPECT_EQ(r.Dword(), byteCounts[i]);
        const uint16_t id = r.Word();
        ASSERT_TRUE(r.ok());

        // The image: an uncompressed DIB of twice the height (colour part,
        // then a 1-bit mask), nothing more.
        const std::vector<BYTE> image = Bytes(RT_ICON, id);
        ASSERT_EQ(image.size(), byteCounts[i]);
        BITMAPINFOHEADER header;
        memcpy(&header, image.data(), sizeof header);
        EXPECT_EQ(header.biSize, sizeof header);
        EXPECT_EQ(header.biWidth, sizes[i]);
        EXPECT_EQ(header.biHeight, 2 * sizes[i]);
        EXPECT_EQ(header.biBitCount, bitCounts[i]);
        EXPECT_EQ(header.biCompression, static_cast<DWORD>(BI_RGB));
        const size_t colourRow = (sizes[i] * bitCounts[i] / 8 + 3) / 4 * 4;
        const size_t maskRow = (sizes[i] / 8 + 3) / 4 * 4;
        EXPECT_EQ(image.size(), sizeof header + (colourRow + maskRow) * sizes[i]);
    }
    EXPECT_EQ(r.left(), 0u);
}

TEST_F(Resources, HeaderTemplateBitmap)
{
    const std::vector<BYTE> bitmap = Bytes(RT_BITMAP, IDB_DIBTEMPLATE);
    ASSERT_EQ(bitmap.size(), 360u);
    BITMAPINFOHEADER header;
    memcpy(&header, bitmap.data(), sizeof header);
    EXPECT_EQ(header.biSize, 40u);
    EXPECT_EQ(header.biWidth, 10);
    EXPECT_EQ(header.biHeight, 10);
    EXPECT_EQ(header.biPlanes, 1);
    EXPECT_EQ(header.biBitCount, 24);
    EXPECT_EQ(header.biCompression, static_cast<DWORD>(BI_RGB));
    EXPECT_EQ(header.biSizeImage, 320u);
    EXPECT_EQ(header.biXPelsPerMeter, 3780);
    EXPECT_EQ(header.biYPelsPerMeter, 3780);
    EXPECT_EQ(header.biClrUsed, 0u);
    EXPECT_EQ(header.biClrImportant, 0u);
    for (int row = 0; row < 10; ++row) {
        const BYTE* pixels = bitmap.data() + 40 + row * 32;
        for (int i = 0; i < 30; ++i)
            ASSERT_EQ(pixels[i], 0xFF) << "row " << row;
        EXPECT_EQ(pixels[30], 0);
        EXPECT_EQ(pixels[31], 0);
    }
}

TEST_F(Resources, VersionRecord)
{
    const std::vector<BYTE> bytes = Bytes(RT_VERSION, 1);
    ASSERT_FALSE(bytes.empty());
    VersionNode root;
    ASSERT_TRUE(ParseVersionNode(bytes.data(), bytes.size(), &root));
    EXPECT_EQ(root.key, L"VS_VERSION_INFO");

    ASSERT_EQ(root.value.size(), sizeof(VS_FIXEDFILEINFO));
    VS_FIXEDFILEINFO fixed;
    memcpy(&fixed, root.value.data(), sizeof fixed);
    EXPECT_EQ(fixed.dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed.dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(fixed.dwFileVersionLS, 0x00010001u);
    EXPECT_EQ(fixed.dwProductVersionMS, 0x00010000u);
    EXPECT_EQ(fixed.dwProductVersionLS, 0x00010001u);
    EXPECT_EQ(fixed.dwFileFlagsMask, 0x3Fu);
    EXPECT_EQ(fixed.dwFileFlags, 0u);
    EXPECT_EQ(fixed.dwFileOS, static_cast<DWORD>(VOS__WINDOWS32));
    EXPECT_EQ(fixed.dwFileType, static_cast<DWORD>(VFT_APP));
    EXPECT_EQ(fixed.dwFileSubtype, 0u);
    EXPECT_EQ(fixed.dwFileDateMS, 0u);
    EXPECT_EQ(fixed.dwFileDateLS, 0u);

    ASSERT_EQ(root.children.size(), 2u);
    const VersionNode& strings = root.children[0];
    EXPECT_EQ(strings.key, L"StringFileInfo");
    ASSERT_EQ(strings.children.size(), 1u);
    const VersionNode& table = strings.children[0];
    EXPECT_EQ(table.key, L"041104b0");

    const std::pair<std::wstring, std::wstring> expected[] = {
        { L"Comments", L"" },
        { L"CompanyName", L"" },
        { L"FileDescription", L"larkbell MFC ｱﾌﾟﾘｹｰｼｮﾝ" },
        { L"FileVersion", L"1, 0, 1, 1" },
        { L"InternalName", L"larkbell" },
        { L"LegalCopyright", L"" }, // any text
        { L"LegalTrademarks", L"" },
        { L"OriginalFilename", L"larkbell.EXE" },
        { L"PrivateBuild", L"" },
        { L"ProductName", L"larkbell ｱﾌﾟﾘｹｰｼｮﾝ" },
        { L"ProductVersion", L"1, 0, 1, 1" },
        { L"SpecialBuild", L"" },
    };
    ASSERT_EQ(table.children.size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        const VersionNode& entry = table.children[i];
        EXPECT_EQ(entry.key, expected[i].first) << "entry " << i;
        if (expected[i].first != L"LegalCopyright") {
            EXPECT_EQ(TextValue(entry), expected[i].second) << "entry " << i;
        }
    }

    const VersionNode& variables = root.children[1];
    EXPECT_EQ(variables.key, L"VarFileInfo");
    ASSERT_EQ(variables.children.size(), 1u);
    const VersionNode& translation = variables.children[0];
    EXPECT_EQ(translation.key, L"Translation");
    ASSERT_EQ(translation.value.size(), 4u);
    Reader r(translation.value);
    EXPECT_EQ(r.Word(), 0x0411);
    EXPECT_EQ(r.Word(), 1200);
}
