"""Stroke latency over the loopback class room: the teacher's client draws 50 strokes on the live
whiteboard by pointer input, and each is timed from the teacher's mouse-up to the moment it shows on
the student's screen. Prints the median and the worst. Run through bench/classroom/stroke-latency."""

import argparse
import os
import statistics
import sys
import time

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(here, "..", "..", "tests", "e2e"))
from classdrive import Class, wait_for  # noqa: E402
from two_clients_test import draw_stroke, room_states  # noqa: E402


def main():
    parser = argparse.ArgumentParser()
    for name in ("build", "source", "wine", "wineserver", "arch", "out"):
        parser.add_argument("--" + name, required=True)
    parser.add_argument("--strokes", type=int, default=50)
    args = parser.parse_args()
    lesson = Class(args.build, args.source, args.wine, args.wineserver, args.arch, args.out)
    try:
        teacher, student = lesson.teacher, lesson.student
        t_places = teacher.places("MainWnd.xml", teacher.size, "ClassOverBtn=hide", "Switch_T_S_MicPart=tab0")
        s_places = student.places("MainWnd.xml", student.size, "ClassBeginBtn=hide", "ClassOverBtn=hide")
        teacher.click(t_places["ClassBeginBtn"])
        wait_for("the class to begin", lambda: 2 in room_states(lesson, 811, lesson.TEACHER))
        panel_window, panel_origin, panel_size = teacher.find_window("ControlPanelWnd", 10)
        panel = teacher.places("ControlPanelWnd.xml", panel_size)
        board = teacher.places("MainWnd.xml", teacher.size, "MainScreenCtner=show")["MainScreenCtner"]
        s_board = student.places("MainWnd.xml", student.size, "MainScreenCtner=show")["MainScreenCtner"]
        before = student.grab(s_board)
        teacher.xdotool("windowraise", panel_window)  # no window manager keeps the panel above its owner
        time.sleep(0.3)
        teacher.click(panel["WhiteBoardCheck"], origin=panel_origin)
        wait_for("the whiteboard on the student's screen",
                 lambda: not student.grab(s_board).same_as(before), 10, 0.2)
        time.sleep(1)
        latencies = []
        for i in range(args.strokes):
            latencies.append(draw_stroke(lesson, board, s_board, i))
            time.sleep(0.05)
        print("stroke latency, teacher mouse-up to student paint, %d strokes: median %.1f ms, worst %.1f ms"
              % (len(latencies), statistics.median(latencies), max(latencies)))
    except BaseException:
        for client in (lesson.teacher, lesson.student):
            client.screenshot(os.path.join(args.out, "failure-%s.png" % client.name))
        raise
    finally:
        lesson.close()


if __name__ == "__main__":
    main()
