#!/usr/bin/python3
"""Checks the Windows module file: a 64-bit DLL whose export table and version resource are exactly
the ones a VST3 host and Windows Explorer read."""

import sys
import unittest

import pefile

MODULE_PATH = None

EXPECTED_STRINGS = {
    "CompanyName": "QuolBane Audio",
    "FileDescription": "Quolbane",
    "FileVersion": "0.1.0",
    "ProductName": "Quolbane",
    "ProductVersion": "0.1.0",
}


class ModuleFileTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.pe = pefile.PE(MODULE_PATH)

    def test_is_a_64_bit_dll(self):
        self.assertEqual(self.pe.FILE_HEADER.Machine, pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_AMD64"])
        self.assertTrue(self.pe.FILE_HEADER.Characteristics & pefile.IMAGE_CHARACTERISTICS["IMAGE_FILE_DLL"])
        self.assertEqual(self.pe.OPTIONAL_HEADER.Magic, pefile.OPTIONAL_HEADER_MAGIC_PE_PLUS)

    def test_exports_exactly_the_three_entry_points(self):
        exports = self.pe.DIRECTORY_ENTRY_EXPORT
        self.assertEqual(exports.name, b"Quolbane.vst3")
        self.assertEqual(exports.struct.Base, 1)
        self.assertEqual(
            [(e.ordinal, e.name) for e in exports.symbols],
            [(1, b"ExitDll"), (2, b"GetPluginFactory"), (3, b"InitDll")],
        )
        self.assertTrue(all(e.forwarder is None for e in exports.symbols))
        self.assertEqual(exports.struct.NumberOfFunctions, 3)
        self.assertEqual(exports.struct.NumberOfNames, 3)

    def test_version_resource_holds_exactly_one_us_english_string_table(self):
        string_tables = []
        translations = []
        for info in self.pe.FileInfo[0]:
            if info.Key == b"StringFileInfo":
                string_tables.extend(info.StringTable)
            elif info.Key == b"VarFileInfo":
                translations.extend(v.entry for v in info.Var)
        self.assertEqual([t.LangID.upper() for t in string_tables], [b"040904E4"])
        entries = {k.decode(): v.decode() for k, v in string_tables[0].entries.items()}
        self.assertEqual(entries, EXPECTED_STRINGS)
        self.assertEqual(translations, [{b"Translation": "0x0409 0x04e4"}])

    def test_fixed_versions_are_0_1_0_0(self):
        fixed = self.pe.VS_FIXEDFILEINFO[0]
        self.assertEqual(fixed.Signature, 0xFEEF04BD)
        version = (0 << 16 | 1, 0 << 16 | 0)
        self.assertEqual((fixed.FileVersionMS, fixed.FileVersionLS), version)
        self.assertEqual((fixed.ProductVersionMS, fixed.ProductVersionLS), version)
        self.assertEqual(fixed.FileType, 2)  # VFT_DLL

    def test_needs_no_mingw_runtime_dll(self):
        imported = {entry.dll.decode().lower() for entry in self.pe.DIRECTORY_ENTRY_IMPORT}
        for runtime in ("libstdc++-6.dll", "libgcc_s_seh-1.dll", "libwinpthread-1.dll", "zlib1.dll", "libpng16.dll"):
            self.assertNotIn(runtime, imported)
        self.assertFalse(any(name.startswith("lib") for name in imported), sorted(imported))


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit("usage: check_module.py PATH_TO_Quolbane.vst3_DLL")
    MODULE_PATH = sys.argv.pop(1)
    unittest.main(verbosity=2)
