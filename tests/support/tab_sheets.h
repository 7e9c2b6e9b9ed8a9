// TabSheet.ini texts shared by the window tests.
#pragma once

namespace dozered::testing {

// Every page by its TabSheet.ini name, with Windows line ends.
inline constexpr char kAllPagesTabSheet[] =
    "\"Read Flash ID\"\r\n\"Identify Table\"\r\n\"Smart Data\"\r\n\"Card Info\"\r\n"
    "\"Erase Count\"\r\n\"CID Option\"\r\n\"Flash RW\"\r\n\"Flash Diagnosis\"\r\n"
    "\"DBS / DPS\"\r\n\"Mark Bad Info\"\r\n\"L2P Mapping\"\r\n\"Microcode\"\r\n\"Error Log\"\r\n";

}  // namespace dozered::testing
