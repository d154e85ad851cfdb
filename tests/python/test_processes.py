"""Compositions handed between processes: every public object survives
pickle, and a multiprocessing pool or a Dask cluster of process workers gives
the files and the errors that single calls give."""
import multiprocessing
import pickle
import random
import warnings

import distributed
import pytest

import midicompose
from midicompose import RenderStatus, Status
from test_midicompose import generated


def quietly(notes, **arguments):
    """compose(), expecting its NotationWarning."""
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", midicompose.NotationWarning)
        return midicompose.compose(notes, **arguments)


def fields(value):
    return (type(value), vars(value)) if isinstance(value, BaseException) else value


@pytest.mark.parametrize("value", [
    midicompose.compose("C:2 E G C5:2", instrument="violin"),
    midicompose.compose("C2 D2", instrument="drums").timeline[1],
    quietly("C#5 \u00e9", beats="1x").warnings[2],
    midicompose.AudioError(None, "Error: no midicompose-audio library"),
    midicompose.AudioError(RenderStatus.RENDER_BAD_SOUNDFONT, "Error: not a soundfont"),
] + [error(status, f"Error: {status.name}") for status, error in midicompose._ERRORS.items()]
  + [midicompose.ComposeError(Status.COMPOSE_NO_NOTES, "Error: no notes")])
def test_every_public_object_round_trips_through_pickle_with_its_fields(value):
    copy = pickle.loads(pickle.dumps(value))
    assert fields(copy) == fields(value) and str(copy) == str(value)


def batch(tmp_path, count=300):
    """Generated lines, a path each, and what a single call in this process gives."""
    rng = random.Random(28)
    lines = [(notes, str(tmp_path / f"{index}.mid"), instrument, beats)
             for index, (notes, instrument, beats) in enumerate(generated(rng) for _ in range(count))]
    return lines, [single(notes, instrument, beats) for notes, _, instrument, beats in lines]


def single(notes, instrument, beats):
    try:
        return midicompose.compose(notes, instrument=instrument, beats=beats).data
    except midicompose.ComposeError as error:
        return error


def assert_same(lines, expected, outcomes):
    failures = 0
    for (_, path, _, _), want, (song, error) in zip(lines, expected, outcomes):
        if isinstance(want, bytes):
            assert error is None and song.data == want
            with open(path, "rb") as written:
                assert written.read() == want
        else:
            failures += 1
            assert song is None and fields(error) == fields(want)
    assert 0 < failures < len(lines)


def outcome(get):
    try:
        return get(), None
    except midicompose.ComposeError as error:
        return None, error


@pytest.mark.filterwarnings("ignore::midicompose.NotationWarning")  # generated notes say what became of them
def test_a_process_pool_writes_the_same_files_and_hands_back_the_same_errors(tmp_path):
    lines, expected = batch(tmp_path)
    with multiprocessing.get_context("spawn").Pool(2) as pool:
        pending = [pool.apply_async(midicompose.compose, (notes, path), {"instrument": instrument, "beats": beats})
                   for notes, path, instrument, beats in lines]
        assert_same(lines, expected, [outcome(lambda: result.get(timeout=60)) for result in pending])


@pytest.mark.filterwarnings("ignore::midicompose.NotationWarning")  # generated notes say what became of them
# Debian's tornado asks its deprecated make_current of the loop distributed starts.
@pytest.mark.filterwarnings("ignore:make_current is deprecated:DeprecationWarning")
def test_a_dask_cluster_of_process_workers_does_the_same(tmp_path):
    lines, expected = batch(tmp_path)
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None) as cluster, \
            distributed.Client(cluster) as client:
        futures = [client.submit(midicompose.compose, notes, path, instrument=instrument, beats=beats, pure=False)
                   for notes, path, instrument, beats in lines]
        assert_same(lines, expected, [outcome(lambda: future.result(timeout=60)) for future in futures])
