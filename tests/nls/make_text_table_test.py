#!/usr/bin/env python3
"""The text table build step: the stored layout, and the faults that stop the build."""
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
SCRIPT = os.path.join(ROOT, "nls", "make_text_table.py")
TEXTS = os.path.join(ROOT, "nls", "text")


class MakeTextTableTest(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp()
        self.texts = os.path.join(self.folder, "text")
        shutil.copytree(TEXTS, self.texts)
        self.output = os.path.join(self.folder, "table.bin")

    def tearDown(self):
        shutil.rmtree(self.folder)

    def replace_entry(self, code, number, text):
        path = os.path.join(self.texts, code + ".txt")
        with open(path, encoding="utf-8") as f:
            lines = f.read().splitlines()
        lines = [f"{number} {text}" if l.startswith(f"{number} ") else l for l in lines]
        with open(path, "w", encoding="utf-8") as f:
            f.write("\n".join(lines) + "\n")

    def run_script(self):
        return subprocess.run([sys.executable, SCRIPT, self.texts, self.output],
                              capture_output=True, text=True)

    def test_sources_give_the_stored_layout(self):
        self.assertEqual(self.run_script().returncode, 0)
        with open(self.output, "rb") as f:
            table = f.read()
        self.assertTrue(table.startswith(b"[enu]\0\r\n1 Audio Format Settings\0\r\n"))
        self.assertIn(b"\0\r\n\0\r\n[trk]\0\r\n1 ", table)
        self.assertTrue(table.endswith(b"\0\r\n\0\r\n"))
        self.assertIn("Schließen".encode("cp1252"), table)
        self.assertIn(b"\\n", table.split(b"[rus]")[1].split(b"[ptg]")[0])

    def test_faults_stop_the_build_with_the_place_named(self):
        cases = [
            ("rus", 2, "Закрыть ✓", "rus.txt:", "character '✓' (U+2713) cannot be stored "
             "in code page 1251"),
            # The second byte of 表 in code page 932 is a backslash: with an n after it
            # the loader would read a line break.
            ("jpn", 2, "表n", "jpn.txt:", "would read as an escape"),
            ("deu", 3, "Konfigurieren...\tx", "deu.txt:", "control character U+0009"),
            ("fra", 22, "Fichier.txt", "fra.txt", "entry 22 must be TunebayNlsData.txt"),
        ]
        for code, number, text, place, message in cases:
            with self.subTest(code=code):
                shutil.rmtree(self.texts)
                shutil.copytree(TEXTS, self.texts)
                self.replace_entry(code, number, text)
                result = self.run_script()
                self.assertEqual(result.returncode, 1)
                self.assertIn(place, result.stderr)
                self.assertIn(message, result.stderr)
                self.assertFalse(os.path.exists(self.output))

    def test_missing_entries_are_named(self):
        path = os.path.join(self.texts, "ita.txt")
        with open(path, encoding="utf-8") as f:
            lines = [l for l in f if not l.startswith(("5 ", "23 "))]
        with open(path, "w", encoding="utf-8") as f:
            f.writelines(lines)
        result = self.run_script()
        self.assertEqual(result.returncode, 1)
        self.assertIn("entries missing: 5, 23", result.stderr)


if __name__ == "__main__":
    unittest.main()
