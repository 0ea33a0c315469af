"""The Python module against Python's own codecs and the command line."""
import os
import subprocess
import tempfile
import threading
import unittest

import kotran

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
CORPUS = os.path.join(ROOT, "tests", "corpus")


def corpus_text():
    text = ""
    for name in sorted(os.listdir(CORPUS)):
        if name.endswith(".txt"):
            with open(os.path.join(CORPUS, name), encoding="utf-8") as f:
                text += f.read()
    return text


class Conversions(unittest.TestCase):
    def test_agrees_with_pythons_codecs_where_the_mappings_agree(self):
        text = corpus_text().replace("\r\n", "\n")
        sjis = text.encode("cp932")
        # CR LF is what kotran writes by default; lf=True writes LF alone.
        self.assertEqual(kotran.convert(sjis, lf=True), text.encode("utf-8"))
        self.assertEqual(kotran.convert(sjis), text.replace("\n", "\r\n").encode("utf-8"))
        self.assertEqual(kotran.convert(text.encode("utf-8"), to="cp932", source="utf-8", lf=True), sjis)
        self.assertEqual(kotran.convert(sjis, to="euc_jp", lf=True), text.encode("euc_jp"))
        self.assertEqual(kotran.decode(text.encode("iso2022_jp")), text)
        self.assertEqual(kotran.decode(sjis, source="shift_jis"), text)

    def test_rows(self):
        rows = [
            # data, keyword arguments, expected bytes
            (b"\x82\xa0\n", {}, b"\xe3\x81\x82\r\n"),
            (b"\xb1\xdd\n", {"source": "sjis", "widen": True, "lf": True}, "アン\n".encode()),
            ("ｶﾞ\n".encode(), {"to": "sjis", "widen": True, "lf": True}, "ガ\n".encode("cp932")),
            (b"\x1b$BF|\x1b(J\n", {"to": "euc-jp"}, b"\xc6\xfc\r\n"),
            (b"a\x1ab", {"to": "euc"}, b"a"),
            ("日本\n".encode(), {"to": "utf-16", "lf": True}, b"\xff\xfe\xe5\x65\x2c\x67\n\x00"),
            # The JIS X 0213 codes by the names Python's codecs give them.
            ("か\u309a𠂉\n".encode(), {"to": "shift_jis_2004", "lf": True}, "か\u309a𠂉\n".encode("shift_jis_2004")),
            ("か\u309a𠂉\n".encode(), {"to": "euc_jis_2004", "lf": True}, "か\u309a𠂉\n".encode("euc_jis_2004")),
            # What iso2022_jp_2004 writes in a process of its own: after the
            # two codecs above, CPython's encoder refuses the pair.
            ("か\u309a𠂉\n".encode(), {"to": "iso2022_jp_2004", "lf": True}, b"\x1b$(Q$w\x1b$(P!!\x1b(B\n"),
            ("か\u309a𠂉\n".encode("euc_jis_2004"), {"source": "EUC-JISX0213", "lf": True}, "か\u309a𠂉\n".encode()),
        ]
        for data, kwargs, expected in rows:
            with self.subTest(data=data, kwargs=kwargs):
                self.assertEqual(kotran.convert(data, **kwargs), expected)

    def test_same_bytes_as_the_command_line(self):
        kotran_exe = os.environ.get("KOTRAN_EXE")
        if not kotran_exe:
            self.skipTest("KOTRAN_EXE is not set")
        data = corpus_text().encode("cp932")
        with tempfile.TemporaryDirectory() as d:
            with open(os.path.join(d, "a.txt"), "wb") as f:
                f.write(data)
            subprocess.run([kotran_exe, "-u", "a.txt"], cwd=d, check=True, capture_output=True)
            with open(os.path.join(d, "a.utf8"), "rb") as f:
                self.assertEqual(kotran.convert(data), f.read())

    def test_strict_names_the_first_place(self):
        with self.assertRaises(kotran.ConversionError) as caught:
            kotran.convert(b"abc\nd\x80e\n", source="sjis", strict=True)
        self.assertEqual((caught.exception.line, caught.exception.column), (2, 2))
        self.assertEqual(kotran.convert(b"abc\nd\x80e\n", source="sjis", lf=True), "abc\nd\ufffde\n".encode())

    def test_not_japanese_is_refused_unless_named(self):
        korean = "한국어 텍스트입니다. 한국어 텍스트입니다.\n".encode("euc_kr")
        with self.assertRaises(kotran.NotJapaneseError) as caught:
            kotran.convert(korean)
        self.assertEqual(caught.exception.seems, "EUC-KR?")
        self.assertEqual(kotran.recognise(korean), ("not Japanese", "EUC-KR?"))
        self.assertTrue(kotran.convert(korean, source="euc"))

    def test_bad_names_are_refused(self):
        with self.assertRaises(ValueError):
            kotran.convert(b"a", to="latin-1")
        with self.assertRaises(TypeError):
            kotran.convert("a str, not bytes")


class Recognition(unittest.TestCase):
    def test_answers(self):
        text = corpus_text()
        self.assertEqual(kotran.recognise(text.encode("cp932"))[0], "Shift-JIS")
        self.assertEqual(kotran.recognise(text.encode("euc_jp"))[0], "EUC")
        self.assertEqual(kotran.recognise(text.encode("iso2022_jp")), ("JIS", "certain"))
        self.assertEqual(kotran.recognise(b"plain\n"), ("ASCII", "certain"))
        self.assertEqual(kotran.recognise(text.encode("utf-16-le")), ("UTF-16LE", "certain"))


class Incremental(unittest.TestCase):
    def test_parts_give_the_whole(self):
        data = corpus_text().encode("iso2022_jp") * 3
        whole = kotran.convert(data, to="sjis")
        for size in (1, 7, 4096, 100000):
            with self.subTest(size=size):
                c = kotran.Converter(to="sjis")
                out = b"".join(c.feed(data[i:i + size]) for i in range(0, len(data), size)) + c.finish()
                self.assertEqual(out, whole)
                self.assertEqual(c.report["source"], "JIS")

    def test_strict_refuses_in_parts(self):
        c = kotran.Converter(source="sjis", strict=True)
        self.assertEqual(c.feed(b"ok\n"), b"ok\r\n")
        with self.assertRaises(kotran.ConversionError):
            c.feed(b"\x80\n")
            c.finish()

    def test_threads_convert_at_once(self):
        data = corpus_text().encode("cp932") * 20
        expected = kotran.convert(data)
        results = []
        threads = [threading.Thread(target=lambda: results.append(kotran.convert(data))) for _ in range(4)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        self.assertEqual(results, [expected] * 4)


if __name__ == "__main__":
    unittest.main()
