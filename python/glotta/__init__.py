"""Language and charset identification with the glotta engine.

    import glotta

    with glotta.Detector() as detector:
        for c in detector.detect("letter.txt"):
            print(c.name, c.charset, c.score)
        detector.detect("Dies ist ein kurzer Text.".encode())

The package drives the engine's shared library, libglotta.so.5, through
ctypes; it finds the library, the plug-ins and the language data of the
installation it belongs to. One Detector may be used by many threads at once:
detection runs without the global interpreter lock.
"""

import ctypes
import os
import threading
from typing import List, NamedTuple, Optional, Union

__all__ = ["Candidate", "Detector", "Error", "error_message", "library_path"]

# Result codes of the engine (see include/glotta/lang_api.h).
LANG_OK = 0
LANG_ERR_NULL = -19998

_DEFAULT_SIZE = 2048
_LANGNAME_FILE = "langname.cfg"
_LANGNAME_ENTRIES = 100
_LANGNAME_LINE = 255  # the engine's files are read in pieces of this many bytes


class Error(Exception):
    """A failed engine call: `code` is the engine's result code, `message`
    its text."""

    def __init__(self, code: int, message: Optional[str] = None):
        self.code = code
        self.message = message if message is not None else error_message(code)
        super().__init__(f"{self.message} ({code})")

    def __reduce__(self):
        # Pickled with its code and message (a Dask worker's failure reaches
        # the client as the same Error).
        return (type(self), (self.code, self.message))


class Candidate(NamedTuple):
    """One answer: the language identifier (such as "en"), the charset name,
    the score (1.0 for an answer from a declaration, a hint or a charset,
    0.0 for the unknown answer) and the language's display name from the
    installation's langname.cfg (the identifier when it has none)."""

    language: str
    charset: str
    score: float
    name: str


class _InitArg(ctypes.Structure):
    _fields_ = [("configFile", ctypes.c_char_p), ("dataPath", ctypes.c_char_p)]


class _InArg(ctypes.Structure):
    _fields_ = [
        ("docData", ctypes.c_void_p),
        ("docLength", ctypes.c_int32),
        ("isBuffer", ctypes.c_int32),
        ("detectSize", ctypes.c_int32),
        ("mimeType", ctypes.c_char_p),
        ("language", ctypes.c_char_p),
        ("charsetName", ctypes.c_char_p),
    ]


class _CandidateRecord(ctypes.Structure):
    _fields_ = [
        ("language", ctypes.c_char_p),
        ("charsetName", ctypes.c_char_p),
        ("score", ctypes.c_float),
    ]


class _OutArg(ctypes.Structure):
    _fields_ = [("count", ctypes.c_int32), ("candidates", ctypes.POINTER(_CandidateRecord))]


def library_path() -> str:
    """The shared library of this installation: PREFIX/lib/libglotta.so.5
    for the package in PREFIX/lib/python3/dist-packages/glotta."""
    here = os.path.dirname(os.path.realpath(__file__))
    return os.path.normpath(os.path.join(here, "..", "..", "..", "libglotta.so.5"))


_lib = None
_lib_lock = threading.Lock()


def _library():
    global _lib
    with _lib_lock:
        if _lib is None:
            lib = ctypes.CDLL(library_path())
            ctx_p = ctypes.c_void_p
            lib.LangInit.argtypes = [ctypes.POINTER(ctx_p), ctypes.POINTER(_InitArg)]
            lib.LangInit.restype = ctypes.c_int
            lib.LangClose.argtypes = [ctx_p]
            lib.LangClose.restype = ctypes.c_int
            lib.LangDetect.argtypes = [ctx_p, ctypes.POINTER(_InArg), ctypes.POINTER(_OutArg)]
            lib.LangDetect.restype = ctypes.c_int
            lib.LangDetectOutArgFree.argtypes = [ctypes.POINTER(_OutArg)]
            lib.LangDetectOutArgFree.restype = ctypes.c_int
            lib.LangErrorMsg.argtypes = [ctypes.c_int]
            lib.LangErrorMsg.restype = ctypes.c_char_p
            lib.LangGetDataPath.argtypes = [ctx_p]
            lib.LangGetDataPath.restype = ctypes.c_char_p
            _lib = lib
        return _lib


def error_message(code: int) -> str:
    """The engine's message for a result code."""
    return _library().LangErrorMsg(code).decode("ascii", "replace")


def _optional_bytes(text: Optional[Union[str, bytes]]) -> Optional[bytes]:
    if text is None or isinstance(text, bytes):
        return text
    if isinstance(text, str):
        return text.encode("utf-8")
    raise TypeError(f"expected str, bytes or None, not {type(text).__name__}")


def _read_display_names(data_path: Optional[str]) -> dict:
    """langname.cfg as the command-line tool reads it: lines (pieces of at
    most 255 bytes) that start with '#', a line feed or a carriage return are
    skipped; the others give an identifier and a display name, their first
    two words; the first 100 entries count, and an identifier listed twice
    keeps its first name."""
    names = {}
    if not data_path:
        return names
    try:
        with open(os.path.join(data_path, _LANGNAME_FILE), "rb") as f:
            content = f.read()
    except OSError:
        return names
    entries = 0
    for line in content.splitlines(keepends=True):
        for start in range(0, len(line), _LANGNAME_LINE):
            piece = line[start:start + _LANGNAME_LINE]
            if entries >= _LANGNAME_ENTRIES:
                return names
            if piece[:1] in (b"#", b"\n", b"\r"):
                continue
            words = piece.split()
            if len(words) < 2:
                continue
            entries += 1
            names.setdefault(words[0].decode("utf-8", "replace"), words[1].decode("utf-8", "replace"))
    return names


class Detector:
    """An engine started on the installation's data (or on `data_path`, with
    the language list `config`). Close it with close() or use it as a
    context manager. Start-up failures raise Error; a start-up warning (some
    profiles failed to load, the engine works without them) is kept in
    `warning`."""

    def __init__(self, data_path: Optional[Union[str, os.PathLike]] = None,
                 config: Optional[Union[str, os.PathLike]] = None):
        lib = _library()
        self._ctx = None
        self._cond = threading.Condition()
        self._active = 0
        arg = _InitArg(
            os.fsencode(config) if config is not None else None,
            os.fsencode(data_path) if data_path is not None else None,
        )
        ctx = ctypes.c_void_p()
        rc = lib.LangInit(ctypes.byref(ctx), ctypes.byref(arg))
        if rc < 0:
            raise Error(rc)
        self._ctx = ctx
        self.warning = rc
        raw = lib.LangGetDataPath(ctx)
        self.data_path = os.fsdecode(raw) if raw else None
        self._names = _read_display_names(self.data_path)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def __del__(self):
        try:
            self.close()
        except Exception:
            pass

    @property
    def closed(self) -> bool:
        return self._ctx is None

    def close(self) -> None:
        """Stops the engine once the detections running now have ended.
        Closing again does nothing."""
        cond = getattr(self, "_cond", None)
        if cond is None:
            return
        with cond:
            ctx, self._ctx = self._ctx, None
            while self._active:
                cond.wait()
        if ctx is not None:
            rc = _library().LangClose(ctx)
            if rc != LANG_OK:
                raise Error(rc)

    def detect(self, path_or_bytes, n: Optional[int] = 3, size: int = _DEFAULT_SIZE,
               mime: Optional[str] = None, language: Optional[str] = None,
               charset: Optional[str] = None) -> List[Candidate]:
        """The best candidates for a document, best first: at most `n` of
        them (all for None). A str or path-like names a file; bytes,
        bytearray or memoryview are the document itself (any charset,
        UTF-16 included). `size` is how many bytes of text the engine looks
        at; `mime`, `language` and `charset` are optional hints. Raises
        Error when the engine fails (a missing file, an unreadable
        document ...)."""
        if n is not None and n < 0:
            raise ValueError("n must not be negative")
        if not isinstance(size, int) or size < 0 or size > 0x7FFFFFFF:
            raise ValueError("size must be an int from 0 to 2**31-1")
        keep = None
        if isinstance(path_or_bytes, (str, os.PathLike)):
            path = os.fsencode(path_or_bytes)
            if b"\0" in path:
                raise ValueError("embedded null byte in path")
            keep = ctypes.create_string_buffer(path)
            request = _InArg(ctypes.cast(keep, ctypes.c_void_p), 0, 0, size)
        elif isinstance(path_or_bytes, (bytes, bytearray, memoryview)):
            data = bytes(path_or_bytes)
            if len(data) > 0x7FFFFFFF:
                raise ValueError("document too large")
            keep = ctypes.create_string_buffer(data, len(data) or 1)
            request = _InArg(ctypes.cast(keep, ctypes.c_void_p), len(data), 1, size)
        else:
            raise TypeError("expected a path (str or os.PathLike) or bytes, not "
                            f"{type(path_or_bytes).__name__}")
        request.mimeType = _optional_bytes(mime)
        request.language = _optional_bytes(language)
        request.charsetName = _optional_bytes(charset)

        lib = _library()
        with self._cond:
            if self._ctx is None:
                raise Error(LANG_ERR_NULL, "the detector is closed")
            ctx = self._ctx
            self._active += 1
        try:
            out = _OutArg(0, None)
            rc = lib.LangDetect(ctx, ctypes.byref(request), ctypes.byref(out))
            if rc != LANG_OK:
                raise Error(rc)
            try:
                found = []
                for i in range(out.count):
                    record = out.candidates[i]
                    lang = (record.language or b"").decode("utf-8", "replace")
                    found.append(Candidate(lang, (record.charsetName or b"").decode("utf-8", "replace"),
                                           float(record.score), self._names.get(lang, lang)))
            finally:
                lib.LangDetectOutArgFree(ctypes.byref(out))
        finally:
            with self._cond:
                self._active -= 1
                if self._active == 0:
                    self._cond.notify_all()
        return found if n is None else found[:n]
