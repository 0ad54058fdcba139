"""scripts/cross-check-simulation.py: how it holds a simulated run against a
real one, on transcripts made up here: frames that agree, part ways, or only
cross differently; gaps and run times inside and outside the tolerances."""
import importlib.util
import json
import tempfile
import unittest
from pathlib import Path

SCRIPT = Path(__file__).resolve().parents[2] / "scripts" / "cross-check-simulation.py"
spec = importlib.util.spec_from_file_location("cross_check_simulation", SCRIPT)
cross = importlib.util.module_from_spec(spec)
spec.loader.exec_module(cross)

GAP_TOLERANCE_MS = 50.0
RUN_TOLERANCE_PERCENT = 3.0
IDENTIFY = "FE 46 00 22 50"
IDENTITY = "FE 46 05 03 0B 07 39 30 0C F3"
STATUS = "FE 4A 00 27 50"
MAIN_PROGRAM = "FE 4A 01 00 11 8A"
BOX = "Обновление микропрограммы прошло УСПЕШНО"


def exchanges(*pairs, every_s=0.050, answer_s=0.001, start_s=0.0):
    """Frames of exchanges `every_s` apart: each request, then its reply
    `answer_s` later."""
    frames = []
    for number, (request, reply) in enumerate(pairs):
        at = start_s + number * every_s
        frames.append(cross.Frame(at, "in", request, "request"))
        frames.append(cross.Frame(at + answer_s, "out", reply, "reply"))
    return frames


def run(frames, box=BOX):
    return cross.Run(box, "success", frames)


def compare(simulated, real):
    return cross.compare("line", simulated, real, GAP_TOLERANCE_MS, RUN_TOLERANCE_PERCENT)


class TranscriptTest(unittest.TestCase):
    def test_frames_are_taken_in_the_order_of_their_times(self):
        # A real simulator writes a reply down when its first byte goes out,
        # which may be after the next request has been heard.
        entries = [{"t": 0.10, "dir": "in", "hex": IDENTIFY, "meaning": "identify request"},
                   {"t": 0.30, "dir": "in", "hex": STATUS, "meaning": "status request"},
                   {"t": 0.20, "dir": "out", "hex": IDENTITY, "meaning": "identify"}]
        with tempfile.TemporaryDirectory() as folder:
            path = Path(folder) / "transcript.jsonl"
            path.write_text("".join(json.dumps(entry) + "\n" for entry in entries))
            frames = cross.read_transcript(path)
        self.assertEqual([frame.hex for frame in frames], [IDENTIFY, IDENTITY, STATUS])

    def test_the_outcome_is_the_last_box_shown(self):
        lines = ["[box] Нет связи с Зирон-7!", "Переход завершён", "[box] " + BOX]
        self.assertEqual(cross.last_box(lines, cross.BOX_MARK), BOX)
        trace = ["   36727.1 box      " + BOX]
        self.assertEqual(cross.last_box(trace, cross.TRACE_BOX), BOX)
        self.assertEqual(cross.last_box(["Переход завершён"], cross.BOX_MARK), "no box")


class CompareTest(unittest.TestCase):
    def test_alike_runs_agree_however_late_the_real_clock_starts(self):
        simulated = run(exchanges((IDENTIFY, IDENTITY), (STATUS, MAIN_PROGRAM)))
        real = run(exchanges((IDENTIFY, IDENTITY), (STATUS, MAIN_PROGRAM), start_s=0.675))
        verdict = compare(simulated, real)
        self.assertEqual(verdict.faults, [])
        self.assertIsNone(verdict.first_differing)
        self.assertAlmostEqual(verdict.gap_ms, 0.0, places=6)
        self.assertAlmostEqual(verdict.run_percent, 0.0, places=6)

    def test_a_repeated_request_in_one_world_parts_the_frames_there(self):
        simulated = run(exchanges((IDENTIFY, IDENTITY), (STATUS, MAIN_PROGRAM)))
        real_frames = exchanges((IDENTIFY, IDENTITY), (STATUS, MAIN_PROGRAM))
        # The real run asks again before its reply: the second request goes
        # out twice, and the times behind the parting say nothing.
        real_frames.insert(3, cross.Frame(0.0505, "in", STATUS, "request"))
        real_frames[-1] = cross.Frame(9.0, "out", MAIN_PROGRAM, "reply")
        verdict = compare(simulated, run(real_frames))
        self.assertEqual(verdict.first_differing, 3)
        self.assertEqual(verdict.faults[0], "frames: the instrument's 'in' frame 2 differs")
        self.assertFalse(any(fault.startswith("run time") for fault in verdict.faults))
        self.assertLess(verdict.gap_ms, 1.0, "gaps count only where the frames agree")

    def test_a_run_that_stops_short_differs_where_its_frames_end(self):
        frames = exchanges((IDENTIFY, IDENTITY), (STATUS, MAIN_PROGRAM))
        verdict = compare(run(frames), run(frames[:3]))
        self.assertEqual(verdict.first_differing, 3)
        self.assertTrue(verdict.faults)

    def test_the_same_frames_each_way_in_another_order_are_a_crossing(self):
        simulated = exchanges((IDENTIFY, IDENTITY), (STATUS, MAIN_PROGRAM))
        # The second request heard before the first reply went out.
        real = [simulated[0], simulated[2], simulated[1], simulated[3]]
        verdict = compare(run(simulated), run(real))
        self.assertEqual(verdict.first_differing, 1)
        self.assertEqual(verdict.faults, ["frames: the two ways cross differently from frame 1"])

    def test_another_outcome_box_is_a_mismatch_even_with_the_same_frames(self):
        frames = exchanges((IDENTIFY, IDENTITY))
        verdict = compare(run(frames), run(frames, box="Нет связи с Зирон-7!"))
        self.assertEqual(len(verdict.faults), 1)
        self.assertTrue(verdict.faults[0].startswith("outcome:"))

    def test_gaps_within_one_pump_period_agree_and_beyond_it_do_not(self):
        pairs = [(STATUS, MAIN_PROGRAM)] * 60
        simulated = exchanges(*pairs)

        def last_exchange_later(by_s):
            frames = exchanges(*pairs)
            return frames[:-2] + [cross.Frame(frame.t + by_s, frame.way, frame.hex, frame.meaning)
                                  for frame in frames[-2:]]

        # The last request a tick late: one gap 49 ms off, the run 1.7 % longer.
        verdict = compare(run(simulated), run(last_exchange_later(0.049)))
        self.assertEqual(verdict.faults, [])
        self.assertAlmostEqual(verdict.gap_ms, 49.0, places=3)
        verdict = compare(run(simulated), run(last_exchange_later(0.051)))
        self.assertEqual(verdict.gap_at, len(simulated) - 2)
        self.assertEqual(len(verdict.faults), 1)
        self.assertTrue(verdict.faults[0].startswith(f"gap before frame {len(simulated) - 2}:"))

    def test_a_real_run_longer_by_more_than_the_tolerance_is_a_mismatch(self):
        pairs = [(STATUS, MAIN_PROGRAM)] * 100
        simulated = exchanges(*pairs, every_s=0.050)
        # 2 ms more per exchange: no gap far off, the run 4 % longer.
        slower = exchanges(*pairs, every_s=0.052)
        verdict = compare(run(simulated), run(slower))
        self.assertAlmostEqual(verdict.run_percent, 4.0, delta=0.1)
        self.assertEqual([fault.split(":")[0] for fault in verdict.faults], ["run time"])
        verdict = compare(run(simulated), run(exchanges(*pairs, every_s=0.051)))
        self.assertEqual(verdict.faults, [], "2 % longer is within the tolerance")

    def test_the_turnaround_is_the_median_extra_time_from_a_reply_to_the_next_request(self):
        pairs = [(STATUS, MAIN_PROGRAM)] * 5
        simulated = exchanges(*pairs, every_s=0.050)
        real = exchanges(*pairs, every_s=0.0503)
        # One exchange held back 20 ms does not move the median.
        real[6:] = [cross.Frame(frame.t + 0.020, frame.way, frame.hex, frame.meaning)
                    for frame in real[6:]]
        verdict = compare(run(simulated), run(real))
        self.assertAlmostEqual(verdict.turnaround_ms, 0.3, places=3)


if __name__ == "__main__":
    unittest.main()
