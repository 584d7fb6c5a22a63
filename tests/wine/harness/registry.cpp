// Registry helpers and the snapshot of the two environment keys.
#include <cstring>
#include <utility>

#include "harness.h"
#include "harness_internal.h"
#include "win32_support.h"

namespace corvel::e2e {

using detail::fail;
using detail::narrow;
using detail::widen;

namespace {

HKEY root_of(Hive hive) {
    return hive == Hive::CurrentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
}

std::string describe(const RegKey& key) {
    return (key.hive == Hive::CurrentUser ? "HKCU\\" : "HKLM\\") + key.path;
}

// An open key; `ok` is false when it does not exist.
class OpenKey {
public:
    OpenKey(const RegKey& key, REGSAM access) {
        LSTATUS status =
            RegOpenKeyExW(root_of(key.hive), widen(key.path).c_str(), 0, access, &m_key);
        if (status == ERROR_FILE_NOT_FOUND) {
            m_key = nullptr;
        } else if (status != ERROR_SUCCESS) {
            fail("opening " + describe(key), static_cast<DWORD>(status));
        }
    }
    OpenKey(const OpenKey&) = delete;
    OpenKey& operator=(const OpenKey&) = delete;
    ~OpenKey() {
        if (m_key != nullptr) {
            RegCloseKey(m_key);
        }
    }
    HKEY get() const {
        return m_key;
    }
    bool ok() const {
        return m_key != nullptr;
    }

private:
    HKEY m_key = nullptr;
};

std::string units_to_bytes(std::wstring_view units) {
    std::string bytes(units.size() * 2, '\0');
    std::memcpy(bytes.data(), units.data(), bytes.size());
    return bytes;
}

// Every value of the key, in enumeration order, with its name as stored.
std::vector<std::pair<std::wstring, RegValue>> all_values(const RegKey& key) {
    std::vector<std::pair<std::wstring, RegValue>> values;
    OpenKey open(key, KEY_QUERY_VALUE);
    if (!open.ok()) {
        return values;
    }
    for (DWORD index = 0;; ++index) {
        std::wstring name(16384, L'\0');
        DWORD name_size = static_cast<DWORD>(name.size());
        DWORD type = 0;
        DWORD size = 0;
        LSTATUS status = RegEnumValueW(open.get(), index, name.data(), &name_size, nullptr, &type,
                                       nullptr, &size);
        if (status == ERROR_NO_MORE_ITEMS) {
            break;
        }
        if (status != ERROR_SUCCESS) {
            fail("listing " + describe(key), static_cast<DWORD>(status));
        }
        name.resize(name_size);
        std::optional<RegValue> value = read_reg(key, narrow(name));
        if (value) {
            values.emplace_back(name, std::move(*value));
        }
    }
    return values;
}

}  // namespace

RegKey RegKey::operator/(std::string_view name) const {
    return RegKey{hive, path + "\\" + std::string(name)};
}

RegValue RegValue::sz(std::string_view utf8) {
    return sz_utf16(widen(utf8));
}

RegValue RegValue::expand_sz(std::string_view utf8) {
    RegValue value = sz(utf8);
    value.type = k_reg_expand_sz;
    return value;
}

RegValue RegValue::sz_utf16(std::wstring_view units) {
    std::wstring terminated(units);
    terminated += L'\0';
    return RegValue{k_reg_sz, units_to_bytes(terminated)};
}

RegValue RegValue::multi_sz(const std::vector<std::string>& utf8_texts) {
    std::wstring units;
    for (const std::string& text : utf8_texts) {
        units += widen(text);
        units += L'\0';
    }
    units += L'\0';
    return RegValue{k_reg_multi_sz, units_to_bytes(units)};
}

RegValue RegValue::dword(std::uint32_t number) {
    std::string bytes(4, '\0');
    std::memcpy(bytes.data(), &number, 4);
    return RegValue{k_reg_dword, bytes};
}

RegValue RegValue::raw(std::uint32_t value_type, std::string value_bytes) {
    return RegValue{value_type, std::move(value_bytes)};
}

std::optional<std::string> RegValue::text() const {
    if (type != k_reg_sz && type != k_reg_expand_sz) {
        return std::nullopt;
    }
    std::wstring units(bytes.size() / 2, L'\0');
    std::memcpy(units.data(), bytes.data(), units.size() * 2);
    size_t end = units.find(L'\0');
    if (end != std::wstring::npos) {
        units.resize(end);
    }
    return narrow(units);
}

std::ostream& operator<<(std::ostream& stream, const RegValue& value) {
    stream << "type " << value.type;
    if (std::optional<std::string> text = value.text()) {
        return stream << " \"" << escaped(*text) << "\"";
    }
    return stream << " bytes \"" << escaped(value.bytes) << "\"";
}

std::optional<RegValue> read_reg(const RegKey& key, std::string_view name) {
    OpenKey open(key, KEY_QUERY_VALUE);
    if (!open.ok()) {
        return std::nullopt;
    }
    const std::wstring wide_name = widen(name);
    std::string bytes(256, '\0');
    for (;;) {
        DWORD type = 0;
        DWORD size = static_cast<DWORD>(bytes.size());
        LSTATUS status = RegQueryValueExW(open.get(), wide_name.c_str(), nullptr, &type,
                                          reinterpret_cast<BYTE*>(bytes.data()), &size);
        if (status == ERROR_FILE_NOT_FOUND) {
            return std::nullopt;
        }
        if (status == ERROR_MORE_DATA) {
            bytes.resize(size);
            continue;
        }
        if (status != ERROR_SUCCESS) {
            fail("reading " + describe(key) + "\\" + std::string(name), static_cast<DWORD>(status));
        }
        bytes.resize(size);
        return RegValue{type, bytes};
    }
}

std::optional<std::string> read_reg_text(const RegKey& key, std::string_view name) {
    std::optional<RegValue> value = read_reg(key, name);
    return value ? value->text() : std::nullopt;
}

void write_reg(const RegKey& key, std::string_view name, const RegValue& value) {
    HKEY handle = nullptr;
    LSTATUS status = RegCreateKeyExW(root_of(key.hive), widen(key.path).c_str(), 0, nullptr, 0,
                                     KEY_SET_VALUE, nullptr, &handle, nullptr);
    if (status != ERROR_SUCCESS) {
        fail("creating " + describe(key), static_cast<DWORD>(status));
    }
    status = RegSetValueExW(handle, widen(name).c_str(), 0, value.type,
                            reinterpret_cast<const BYTE*>(value.bytes.data()),
                            static_cast<DWORD>(value.bytes.size()));
    RegCloseKey(handle);
    if (status != ERROR_SUCCESS) {
        fail("writing " + describe(key) + "\\" + std::string(name), static_cast<DWORD>(status));
    }
}

void delete_reg(const RegKey& key, std::string_view name) {
    OpenKey open(key, KEY_SET_VALUE);
    if (!open.ok()) {
        return;
    }
    LSTATUS status = RegDeleteValueW(open.get(), widen(name).c_str());
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
        fail("deleting " + describe(key) + "\\" + std::string(name), static_cast<DWORD>(status));
    }
}

void delete_reg_key(const RegKey& key) {
    LSTATUS status = RegDeleteTreeW(root_of(key.hive), widen(key.path).c_str());
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
        fail("deleting " + describe(key), static_cast<DWORD>(status));
    }
}

std::vector<std::string> reg_subkeys(const RegKey& key) {
    std::vector<std::string> names;
    OpenKey open(key, KEY_ENUMERATE_SUB_KEYS);
    if (!open.ok()) {
        return names;
    }
    for (DWORD index = 0;; ++index) {
        wchar_t name[2048];
        DWORD size = 2048;
        LSTATUS status =
            RegEnumKeyExW(open.get(), index, name, &size, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) {
            break;
        }
        if (status != ERROR_SUCCESS) {
            fail("listing " + describe(key), static_cast<DWORD>(status));
        }
        names.push_back(narrow(std::wstring_view(name, size)));
    }
    return names;
}

namespace detail {

namespace {

struct KeySnapshot {
    RegKey key;
    std::vector<std::pair<std::wstring, RegValue>> values;
};

std::vector<KeySnapshot>& snapshots() {
    static std::vector<KeySnapshot> taken;
    return taken;
}

void write_named(const RegKey& key, const std::wstring& name, const RegValue& value) {
    write_reg(key, narrow(name), value);
}

}  // namespace

// The snapshot outlives one test program: every run in the same prefix (CTest starts the program
// once per group of suites) restores the state the first run found, even after a run that was
// killed halfway through.
const std::string k_snapshot_file = "C:\\corvel-e2e-environment.snapshot";

std::string to_hex(std::string_view bytes) {
    static const char* digits = "0123456789abcdef";
    std::string hex;
    for (unsigned char byte : bytes) {
        hex += digits[byte >> 4];
        hex += digits[byte & 15];
    }
    return hex;
}

std::string from_hex(std::string_view hex) {
    std::string bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes += static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16));
    }
    return bytes;
}

// One line per value: key number, name (UTF-16 bytes), type, data, in hex or decimal.
std::string serialised() {
    std::string text;
    for (size_t k = 0; k < snapshots().size(); ++k) {
        for (const auto& [name, value] : snapshots()[k].values) {
            std::string name_bytes(name.size() * 2, '\0');
            std::memcpy(name_bytes.data(), name.data(), name_bytes.size());
            text += std::to_string(k) + " " + to_hex(name_bytes) + " " +
                    std::to_string(value.type) + " " + to_hex(value.bytes) + "\n";
        }
    }
    return text;
}

void deserialise(const std::string& text) {
    for (const std::string& line : lines_of(text)) {
        size_t first = line.find(' ');
        size_t second = line.find(' ', first + 1);
        size_t third = line.find(' ', second + 1);
        if (third == std::string::npos) {
            throw HarnessError("damaged snapshot line: " + line);
        }
        size_t k = std::stoul(line.substr(0, first));
        std::string name_bytes = from_hex(line.substr(first + 1, second - first - 1));
        std::wstring name(name_bytes.size() / 2, L'\0');
        std::memcpy(name.data(), name_bytes.data(), name.size() * 2);
        auto type =
            static_cast<std::uint32_t>(std::stoul(line.substr(second + 1, third - second - 1)));
        snapshots().at(k).values.emplace_back(name,
                                              RegValue{type, from_hex(line.substr(third + 1))});
    }
}

void snapshot_environment_keys() {
    snapshots().clear();
    std::optional<std::string> saved = read_file(k_snapshot_file);
    for (const RegKey& key : {k_user_environment, k_system_environment}) {
        snapshots().push_back(
            KeySnapshot{key, saved ? decltype(KeySnapshot::values){} : all_values(key)});
    }
    if (saved) {
        deserialise(*saved);
    } else {
        write_file(k_snapshot_file, serialised());
    }
}

void restore_environment_keys() {
    for (const KeySnapshot& snapshot : snapshots()) {
        auto now = all_values(snapshot.key);
        for (const auto& [name, value] : now) {
            bool kept = false;
            for (const auto& [old_name, old_value] : snapshot.values) {
                if (CompareStringOrdinal(name.c_str(), -1, old_name.c_str(), -1, TRUE) ==
                    CSTR_EQUAL) {
                    kept = old_value == value;
                    break;
                }
            }
            if (!kept) {
                delete_reg(snapshot.key, narrow(name));
            }
        }
        for (const auto& [name, value] : snapshot.values) {
            std::optional<RegValue> current = read_reg(snapshot.key, narrow(name));
            if (!current || *current != value) {
                write_named(snapshot.key, name, value);
            }
        }
    }
}

}  // namespace detail

}  // namespace corvel::e2e
