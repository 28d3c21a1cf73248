/* charset_ids.h - charset numbers that code tests directly. The full set of
 * numbers is given by the charset tables (CharsetInfoList in zi18n_conv, the
 * output-name table in charset/charset_names). */
#ifndef GLOTTA_CONV_CHARSET_IDS_H
#define GLOTTA_CONV_CHARSET_IDS_H

enum {
    CS_NONE = 0,
    CS_SJIS = 1,
    CS_GB = 2,
    CS_BIG5 = 3,
    CS_EUCKSC = 4,
    CS_CP1250 = 5,
    CS_CP1251 = 6,
    CS_CP1252 = 7, /* also pure ASCII */
    CS_CP1253 = 8,
    CS_ISO8859_1 = 14,
    CS_ISO8859_2 = 15,
    CS_ISO8859_5 = 18,
    CS_CP850 = 28,
    CS_CP852 = 30,
    CS_LMBCS = 50,
    CS_UNICODE = 51, /* 16-bit Unicode, low byte first unless told otherwise */
    CS_UTF8 = 53,
    CS_UTF7 = 54,
    CS_ISO2022JP = 55,
    CS_KOI8R = 73,
    CS_UTF16LE = 100,
    CS_UTF16BE = 101
};

#endif
