"""The Python binding over libqvad.so.0, without a display: start-up and a load against a
loopback port where nobody listens fail as QvadError values, an ad closes itself from its
own callback, a closed ad refuses calls, and the secret never reaches the log sink."""
import os
import socket
import sys
import tempfile
import time
import unittest

import qvad

SECRET = "py-secret-never-logged"


def unused_loopback_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def run_until(done, seconds=30):
    end = time.monotonic() + seconds
    while not done() and time.monotonic() < end:
        if not qvad.main_iterate(False):
            time.sleep(0.01)
    return done()


class BindingTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.lines = []
        qvad.set_log_sink(cls.lines.append)
        qvad.set_api_base_url(f"https://127.0.0.1:{unused_loopback_port()}")
        cls.data = tempfile.TemporaryDirectory()
        qvad.set_data_directory(cls.data.name)
        qvad.set_documents_directory(cls.data.name)
        qvad.set_request_timeout(5)

    @classmethod
    def tearDownClass(cls):
        qvad.set_log_sink(None)
        cls.data.cleanup()

    def test_version_is_the_project_version(self):
        self.assertEqual(qvad.version(), sys.argv[1] if len(sys.argv) > 1 else qvad.version())

    def test_failures_arrive_as_error_values_and_an_ad_may_close_itself(self):
        outcome = {}

        def failed(ad, error):
            outcome["load"] = error
            ad.close()  # from inside its own callback

        ad = qvad.RewardAd("reward-1", did_fail=failed, did_load=lambda ad: outcome.setdefault("loaded", True))
        ad.load()
        qvad.start("py-key", SECRET, lambda error: outcome.setdefault("start", error))
        # Blocking turns: each waits for the next thing the library has to do.
        while not ("start" in outcome and "load" in outcome):
            self.assertTrue(qvad.main_iterate(True))
        self.assertEqual(outcome["start"].code, -1004)
        self.assertIsInstance(outcome["load"], qvad.QvadError)
        self.assertEqual(outcome["load"].code, -1004)
        self.assertNotIn("loaded", outcome)
        with self.assertRaises(ValueError):
            ad.load()
        self.assertFalse([line for line in self.lines if SECRET in line])
        # The identifier is kept where the program said.
        self.assertTrue(os.path.exists(os.path.join(self.data.name, "advertising-identifier.json")))

    def test_a_closed_ad_hears_nothing(self):
        heard = []
        with qvad.InterstitialAd("interstitial-1", did_fail=lambda ad, e: heard.append(e)) as ad:
            ad.load()
        run_until(lambda: False, 1)
        self.assertEqual(heard, [])
        with self.assertRaises(TypeError):
            qvad.RewardAd("reward-1", did_finish=print)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])
