// Runs at crash time. How thread recording walks a thread's stack: a walker yields the return
// addresses of a register context, innermost first, to a visitor. The process-wide walker is set
// once at start-up; recording uses whatever is set when the crash happens.
#pragma once

#include "crash/capture/CRWThreadContext.h"

#include <cstdint>

// Called for each frame: its pc and how many frames in a row before it had the same pc. Returns
// false to end the walk.
using CRWFrameVisitor = bool (*)(void* state, uint64_t pc, uint32_t repeatCount);
// Walks `context`, calling `visit` for each frame (the first is the context's own pc). False when
// the walk could not start (no usable context); the frames visited before a later failure stand.
// Must not allocate, lock or throw.
using CRWFrameWalker = bool (*)(const CRWThreadContext* context, CRWFrameVisitor visit, void* state);

// The walker in force; never none.
CRWFrameWalker CRWCurrentFrameWalker();
// Replaces it; none restores the default. Not while a crash is being recorded.
void CRWSetFrameWalker(CRWFrameWalker walker);
// The default: the stack unwinder over the crash context's image table (crash/unwind).
bool CRWFrameWalkerDefault(const CRWThreadContext* context, CRWFrameVisitor visit, void* state);
// A walker that yields the context's pc alone.
bool CRWFrameWalkerPCOnly(const CRWThreadContext* context, CRWFrameVisitor visit, void* state);
