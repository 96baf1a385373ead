// SPDX-License-Identifier: MIT
// The suites under node see the environment they were started in, as they
// do natively (ZIB_SEED, ZIB_RANDOM_STEPS), rather than emscripten's stand-in.
Module['preRun'] = [() => { if (typeof process === 'object') Object.assign(ENV, process.env); }];
