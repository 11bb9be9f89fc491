"""qvad for Python: ctypes over the C interface of libqvad.so.0.

Every call is made on the main thread, and every callback runs there, inside
main_iterate(), main_run() or the host's GLib loop (Gtk.main()); the log sink alone runs
on whichever thread wrote the line. Errors reach callbacks as QvadError values. Ads and
host windows are released with close() or by leaving a `with` block; their callbacks are
kept alive while the object lives and never run after close().

The library is found through QVAD_LIBRARY (a path), else as libqvad.so.0 on the loader's
path.
"""

import ctypes
import os
from dataclasses import dataclass
from typing import Callable, Optional

__all__ = [
    "DEFAULT_AD_POSITION", "QvadError", "Host", "RewardAd", "InterstitialAd", "version",
    "set_api_base_url", "set_ca_file", "set_limit_ad_tracking", "set_log_sink", "start",
    "show_floating_ad", "main_iterate", "main_run", "main_quit",
]

DEFAULT_AD_POSITION = -1000.0

_lib = ctypes.CDLL(os.environ.get("QVAD_LIBRARY") or "libqvad.so.0")

_VOIDP = ctypes.c_void_p
_EVENT = ctypes.CFUNCTYPE(None, _VOIDP)
_ERROR_EVENT = ctypes.CFUNCTYPE(None, _VOIDP, _VOIDP)  # (user, error)
_AD_EVENT = ctypes.CFUNCTYPE(None, _VOIDP, _VOIDP)  # (user, ad)
_AD_ERROR_EVENT = ctypes.CFUNCTYPE(None, _VOIDP, _VOIDP, _VOIDP)  # (user, ad, error)
_LOG_SINK = ctypes.CFUNCTYPE(None, _VOIDP, ctypes.c_char_p)


class _FloatingCallbacks(ctypes.Structure):
    _fields_ = [("shown", _EVENT), ("clicked", _EVENT), ("closed", _EVENT), ("failed", _ERROR_EVENT)]


_REWARD_MEMBERS = ["did_load", "did_fail", "begin_show", "did_show", "did_click", "complete", "will_close",
                   "did_close"]
_INTERSTITIAL_MEMBERS = ["did_load", "did_fail", "begin_show", "did_show", "did_click", "will_close", "did_close"]
_WITH_ERROR = {"did_fail", "did_show"}


def _table(members):
    return type("_Callbacks", (ctypes.Structure,),
                {"_fields_": [(m, _AD_ERROR_EVENT if m in _WITH_ERROR else _AD_EVENT) for m in members]})


_RewardCallbacks = _table(_REWARD_MEMBERS)
_InterstitialCallbacks = _table(_INTERSTITIAL_MEMBERS)


def _declare(name, restype, *argtypes):
    f = getattr(_lib, name)
    f.restype = restype
    f.argtypes = list(argtypes)
    return f


_version = _declare("qvad_version", ctypes.c_char_p)
_set_api_base_url = _declare("qvad_set_api_base_url", None, ctypes.c_char_p)
_set_ca_file = _declare("qvad_set_ca_file", None, ctypes.c_char_p)
_set_request_timeout = _declare("qvad_set_request_timeout", None, ctypes.c_double)
_set_documents_directory = _declare("qvad_set_documents_directory", None, ctypes.c_char_p)
_set_data_directory = _declare("qvad_set_data_directory", None, ctypes.c_char_p)
_set_limit_ad_tracking = _declare("qvad_set_limit_ad_tracking", None, ctypes.c_int)
_set_log_sink = _declare("qvad_set_log_sink", None, _LOG_SINK, _VOIDP)
_error_code = _declare("qvad_error_code", ctypes.c_longlong, _VOIDP)
_error_description = _declare("qvad_error_description", ctypes.c_char_p, _VOIDP)
_start = _declare("qvad_start", None, ctypes.c_char_p, ctypes.c_char_p, _ERROR_EVENT, _VOIDP)
_main_iterate = _declare("qvad_main_iterate", ctypes.c_int, ctypes.c_int)
_main_run = _declare("qvad_main_run", None)
_main_quit = _declare("qvad_main_quit", None)
_host_attach_gtk = _declare("qvad_host_attach_gtk", _VOIDP, _VOIDP)
_host_over_x11 = _declare("qvad_host_over_x11", _VOIDP, ctypes.c_ulong)
_host_release = _declare("qvad_host_release", None, _VOIDP)
_show_floating_ad = _declare("qvad_show_floating_ad", None, _VOIDP, ctypes.c_double, ctypes.c_double,
                             ctypes.POINTER(_FloatingCallbacks), _VOIDP)
_reward_create = _declare("qvad_reward_ad_create", _VOIDP, ctypes.c_char_p, ctypes.POINTER(_RewardCallbacks), _VOIDP)
_reward_load = _declare("qvad_reward_ad_load", None, _VOIDP)
_reward_show = _declare("qvad_reward_ad_show", None, _VOIDP, _VOIDP, ctypes.c_int)
_reward_release = _declare("qvad_reward_ad_release", None, _VOIDP)
_interstitial_create = _declare("qvad_interstitial_ad_create", _VOIDP, ctypes.c_char_p,
                                ctypes.POINTER(_InterstitialCallbacks), _VOIDP)
_interstitial_load = _declare("qvad_interstitial_ad_load", None, _VOIDP)
_interstitial_show = _declare("qvad_interstitial_ad_show", None, _VOIDP, _VOIDP, ctypes.c_int)
_interstitial_release = _declare("qvad_interstitial_ad_release", None, _VOIDP)


@dataclass(frozen=True)
class QvadError:
    """An error the library reported: network codes are negative (-1004 cannot connect,
    -1001 time-out, ...), -997 an ad page that failed to load, others the platform's own."""
    code: int
    description: str


def _error(pointer) -> Optional[QvadError]:
    if not pointer:
        return None
    return QvadError(int(_error_code(pointer)), (_error_description(pointer) or b"").decode("utf-8", "replace"))


def _text(value: Optional[str]) -> Optional[bytes]:
    return None if value is None else value.encode("utf-8")


# ctypes trampolines must outlive every call into them, including the one running when
# an object is closed from its own callback: retired ones are dropped at the next
# main-loop turn that runs outside any callback.
_depth = 0
_retired = []
_pending_starts = {}  # id -> trampoline of a completion still due
_floating = []  # a badge lives as long as its container: so do its callbacks
_log_sink = None


def _guard(fn):
    def call(*args):
        global _depth
        _depth += 1
        try:
            fn(*args)
        except Exception:  # an exception must not unwind into C
            import traceback
            traceback.print_exc()
        finally:
            _depth -= 1
    return call


def _retire(*things):
    _retired.extend(things)


def _drop_retired():
    if _depth == 0:
        _retired.clear()


def version() -> str:
    return _version().decode()


def set_api_base_url(url: str) -> None:
    _set_api_base_url(_text(url))


def set_ca_file(path: str) -> None:
    _set_ca_file(_text(path))


def set_request_timeout(seconds: float) -> None:
    """Idle time-out of one server request; <= 0 restores the default of 30 s."""
    _set_request_timeout(float(seconds))


def set_documents_directory(path: str) -> None:
    _set_documents_directory(_text(path))


def set_data_directory(path: str) -> None:
    _set_data_directory(_text(path))


def set_limit_ad_tracking(on: bool) -> None:
    _set_limit_ad_tracking(1 if on else 0)


def set_log_sink(sink: Optional[Callable[[str], None]]) -> None:
    """Every console line of the library (any thread); None restores standard output."""
    global _log_sink
    old = _log_sink
    if sink is None:
        _log_sink = None
        _set_log_sink(_LOG_SINK(), None)
    else:
        _log_sink = _LOG_SINK(_guard(lambda _user, line: sink(line.decode("utf-8", "replace"))))
        _set_log_sink(_log_sink, None)
    if old is not None:
        _retire(old)


def start(app_key: str, app_secret: str, complete: Optional[Callable[[Optional[QvadError]], None]] = None) -> None:
    """Starts the library; `complete(None)` on success, else `complete(QvadError)`."""
    if complete is None:
        _start(_text(app_key), _text(app_secret), _ERROR_EVENT(), None)
        return
    holder = []

    def done(_user, error):
        _pending_starts.pop(id(holder[0]), None)
        _retire(holder[0])
        complete(_error(error))

    holder.append(_ERROR_EVENT(_guard(done)))
    _pending_starts[id(holder[0])] = holder[0]
    _start(_text(app_key), _text(app_secret), holder[0], None)


def main_iterate(may_block: bool = False) -> bool:
    ran = bool(_main_iterate(1 if may_block else 0))
    _drop_retired()
    return ran


def main_run() -> None:
    _main_run()
    _drop_retired()


def main_quit() -> None:
    _main_quit()


class Host:
    """The host's screen; use attach_gtk or over_x11."""

    def __init__(self, handle):
        self._handle = handle

    @classmethod
    def attach_gtk(cls, window) -> "Host":
        """Over a PyGObject Gtk.Window."""
        get = ctypes.pythonapi.PyCapsule_GetPointer
        get.restype = ctypes.c_void_p
        get.argtypes = [ctypes.py_object, ctypes.c_char_p]
        handle = _host_attach_gtk(get(window.__gpointer__, None))
        if not handle:
            raise RuntimeError("qvad cannot attach to this window")
        return cls(handle)

    @classmethod
    def over_x11(cls, x11_window: int) -> "Host":
        handle = _host_over_x11(x11_window)
        if not handle:
            raise RuntimeError("qvad cannot host over this window (no X11 display?)")
        return cls(handle)

    def close(self) -> None:
        """Detaches once no other handle holds the window: ads still up close."""
        if self._handle:
            handle, self._handle = self._handle, None
            _host_release(handle)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()


def _handle_of(host: Optional[Host]):
    if host is not None and not host._handle:
        raise ValueError("the host was closed")
    return host._handle if host is not None else None


def show_floating_ad(host: Optional[Host] = None, x: float = DEFAULT_AD_POSITION, y: float = DEFAULT_AD_POSITION,
                     shown=None, clicked=None, closed=None, failed=None) -> None:
    """Lays a floating badge over `host` (None: the key host window)."""
    table = _FloatingCallbacks(
        _EVENT(_guard(lambda _u: shown())) if shown else _EVENT(),
        _EVENT(_guard(lambda _u: clicked())) if clicked else _EVENT(),
        _EVENT(_guard(lambda _u: closed())) if closed else _EVENT(),
        _ERROR_EVENT(_guard(lambda _u, e: failed(_error(e)))) if failed else _ERROR_EVENT())
    _floating.append(table)
    _show_floating_ad(_handle_of(host), x, y, ctypes.byref(table), None)


class _Ad:
    _members = []
    _table_type = None
    _create = _load = _show = _release = None

    def __init__(self, placement_id: Optional[str] = None, **callbacks):
        unknown = set(callbacks) - set(self._members)
        if unknown:
            raise TypeError(f"unknown callbacks: {', '.join(sorted(unknown))}")
        fields = []
        for name in self._members:
            fn = callbacks.get(name)
            kind = _AD_ERROR_EVENT if name in _WITH_ERROR else _AD_EVENT
            if fn is None:
                fields.append(kind())
            elif name in _WITH_ERROR:
                fields.append(kind(_guard(lambda _u, _ad, e, fn=fn: fn(self, _error(e)))))
            else:
                fields.append(kind(_guard(lambda _u, _ad, fn=fn: fn(self))))
        self._table = self._table_type(*fields)
        handle = type(self)._create(_text(placement_id), ctypes.byref(self._table), None)
        if not handle:
            raise RuntimeError("qvad could not make the ad")
        self._handle = handle

    def load(self) -> None:
        type(self)._load(self._live())

    def show(self, host: Optional[Host] = None, animated: bool = True) -> None:
        type(self)._show(self._live(), _handle_of(host), 1 if animated else 0)

    def close(self) -> None:
        """Releases the ad; none of its callbacks runs afterwards. Safe inside them."""
        if self._handle:
            handle, self._handle = self._handle, None
            type(self)._release(handle)
            _retire(self._table)  # its trampolines may be on the stack right now
            self._table = None

    def _live(self):
        if not self._handle:
            raise ValueError("the ad was closed")
        return self._handle

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def __del__(self):
        # Not deterministic: call close(). This only keeps a forgotten ad from leaking.
        if getattr(self, "_handle", None) and _depth == 0:
            self.close()


class RewardAd(_Ad):
    """Callbacks (all optional) get the ad: did_load, did_fail(ad, error), begin_show,
    did_show(ad, error or None), did_click, complete, will_close, did_close."""
    _members = _REWARD_MEMBERS
    _table_type = _RewardCallbacks
    _create = staticmethod(_reward_create)
    _load = staticmethod(_reward_load)
    _show = staticmethod(_reward_show)
    _release = staticmethod(_reward_release)


class InterstitialAd(_Ad):
    """Callbacks (all optional) get the ad: did_load, did_fail(ad, error), begin_show,
    did_show(ad, error or None), did_click, will_close, did_close."""
    _members = _INTERSTITIAL_MEMBERS
    _table_type = _InterstitialCallbacks
    _create = staticmethod(_interstitial_create)
    _load = staticmethod(_interstitial_load)
    _show = staticmethod(_interstitial_show)
    _release = staticmethod(_interstitial_release)
