#include "bench/ScreenNames.h"

#include <algorithm>
#include <array>
#include <random>
#include <unordered_set>

namespace bench {
namespace {

constexpr std::size_t kMinLength = 3;
constexpr std::size_t kMaxLength = 16;

constexpr std::array<std::wstring_view, 40> kFirstParts{
    L"cool",  L"dark",   L"happy", L"lil",   L"sk8r",  L"angel",  L"blue",  L"crazy", L"dj",     L"fire",
    L"funky", L"gothic", L"hot",   L"ice",   L"jazzy", L"killer", L"lucky", L"mad",   L"neon",   L"ninja",
    L"punk",  L"qt",     L"red",   L"silly", L"sweet", L"shadow", L"tiny",  L"ultra", L"wild",   L"xtreme",
    L"baby",  L"cyber",  L"dream", L"emo",   L"fly",   L"glitter", L"hyper", L"jr",    L"kool",  L"star"};
constexpr std::array<std::wstring_view, 40> kSecondParts{
    L"dude",   L"girl",  L"boy",   L"kitty",  L"dragon", L"rider",  L"angel", L"monkey", L"princess", L"surfer",
    L"gamer",  L"chick", L"wolf",  L"tiger",  L"rocker", L"babe",   L"kid",   L"master", L"queen",    L"king",
    L"skater", L"fan",   L"bear",  L"bunny",  L"devil",  L"flower", L"guy",   L"hawk",   L"lover",    L"mama",
    L"panda",  L"pixie", L"storm", L"thug",   L"viper",  L"wizard", L"zombie", L"fox",   L"raven",    L"smiles"};
constexpr std::array<std::wstring_view, 24> kGivenNames{
    L"jen",  L"mike", L"amy",  L"chris", L"sarah", L"matt",  L"kate", L"josh", L"lisa", L"dave", L"emily", L"tom",
    L"anna", L"nick", L"beth", L"ryan",  L"megan", L"kevin", L"liz",  L"dan",  L"tina", L"steve", L"kim",  L"joe"};
constexpr std::array<std::wstring_view, 24> kFamilyNames{
    L"smith",  L"jones",  L"miller", L"davis", L"garcia", L"wilson", L"moore",  L"taylor",
    L"thomas", L"martin", L"lee",    L"walker", L"hall",  L"allen",  L"young",  L"king",
    L"wright", L"lopez",  L"hill",   L"scott",  L"green", L"adams",  L"baker",  L"nelson"};

template <std::size_t Size>
constexpr bool NoneEmpty(const std::array<std::wstring_view, Size>& parts) {
    return std::none_of(parts.begin(), parts.end(), [](std::wstring_view part) { return part.empty(); });
}
static_assert(NoneEmpty(kFirstParts) && NoneEmpty(kSecondParts) && NoneEmpty(kGivenNames) && NoneEmpty(kFamilyNames));

wchar_t Lower(wchar_t c) { return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c; }
wchar_t Upper(wchar_t c) { return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - L'a' + L'A') : c; }

std::wstring Lowered(std::wstring_view text) {
    std::wstring result(text);
    std::transform(result.begin(), result.end(), result.begin(), Lower);
    return result;
}

class NameMaker {
public:
    explicit NameMaker(std::uint32_t seed) : random_(seed) {}

    std::wstring Next() {
        std::wstring name;
        switch (Pick(5)) {
        case 0:  // CoolDude88
            name = Capitalised(Part(kFirstParts)) + Capitalised(Part(kSecondParts)) + Digits(Pick(4));
            break;
        case 1:  // sweet_kitty
            name = std::wstring(Part(kFirstParts)) + L'_' + std::wstring(Part(kSecondParts)) + Digits(Pick(3));
            break;
        case 2:  // jsmith42
            name = std::wstring(1, Part(kGivenNames)[0]) + std::wstring(Part(kFamilyNames)) + Digits(1 + Pick(4));
            break;
        case 3:  // KateMiller1985
            name = Capitalised(Part(kGivenNames)) + Capitalised(Part(kFamilyNames)) + Year();
            break;
        default:  // xXdragonXx
            name = L"xX" + std::wstring(Part(kSecondParts)) + L"Xx" + Digits(Pick(3));
            break;
        }
        if (Pick(8) == 0) std::transform(name.begin(), name.end(), name.begin(), Upper);
        if (name.size() > kMaxLength) name.resize(kMaxLength);
        return name;
    }

private:
    std::size_t Pick(std::size_t bound) { return std::uniform_int_distribution<std::size_t>(0, bound - 1)(random_); }

    template <std::size_t Size>
    std::wstring_view Part(const std::array<std::wstring_view, Size>& parts) {
        return parts[Pick(Size)];
    }

    std::wstring Digits(std::size_t count) {
        std::wstring digits;
        for (std::size_t i = 0; i < count; ++i) digits += static_cast<wchar_t>(L'0' + Pick(10));
        return digits;
    }

    std::wstring Year() { return std::to_wstring(1960 + Pick(45)); }

    static std::wstring Capitalised(std::wstring_view part) {
        std::wstring result(part);
        if (!result.empty()) result[0] = Upper(result[0]);
        return result;
    }

    std::mt19937 random_;
};

}  // namespace

bool LessIgnoringCase(std::wstring_view a, std::wstring_view b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [](wchar_t x, wchar_t y) { return Lower(x) < Lower(y); });
}

bool IsPlausibleScreenName(std::wstring_view name) {
    if (name.size() < kMinLength || name.size() > kMaxLength) return false;
    return std::all_of(name.begin(), name.end(), [](wchar_t c) {
        return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') || c == L'_';
    });
}

std::vector<std::wstring> MakeScreenNames(std::size_t count, std::uint32_t seed) {
    NameMaker maker(seed);
    std::unordered_set<std::wstring> seen;
    std::vector<std::wstring> names;
    names.reserve(count);
    while (names.size() < count) {
        std::wstring name = maker.Next();
        if (seen.insert(Lowered(name)).second) names.push_back(std::move(name));
    }
    std::sort(names.begin(), names.end(), LessIgnoringCase);
    return names;
}

}  // namespace bench
