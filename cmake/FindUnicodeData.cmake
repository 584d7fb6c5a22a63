# Locates the Unicode Character Database text files (Debian: unicode-data) that the case-mapping
# and white-space tables are generated from.
find_path(UnicodeData_DIR
    NAMES UnicodeData.txt SpecialCasing.txt PropList.txt DerivedCoreProperties.txt
    PATHS /usr/share/unicode /usr/share/unicode-data /usr/local/share/unicode
    DOC "Folder holding UnicodeData.txt, SpecialCasing.txt, PropList.txt and DerivedCoreProperties.txt")
include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(UnicodeData REQUIRED_VARS UnicodeData_DIR)
