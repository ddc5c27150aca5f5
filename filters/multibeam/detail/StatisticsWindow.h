// StatisticsWindow: the multibeam filter's statistical filter, a window of the last
// pings (3, 5 or 7) whose middle ping is judged against the depths of its neighbours in
// two passes, a fixed-ratio pass around the median and a spread pass on the smoothed
// interquartile spread. Owns the window slots, the block each held ping came in and the
// working samples. Internal to the multibeam filter.
#pragma once

#include <KvsDataBlocks/datablocks/CDataBlock.h>
#include <KvsDataBlocks/filters/multibeam/PingStruct.h>
#include <KvsDataBlocks/filters/multibeam/detail/SlideKeys.h>

#include <array>
#include <cstdint>
#include <vector>

namespace kvs::multibeam::detail {

class StatisticsWindow
{
public:
    static constexpr int kSlots = 14;

    StatisticsWindow();

    // A window of size pings (3, 5 or 7; 2 h + 1): releases the slots' storage when the
    // size changes, and the slot count becomes size.
    void Resize(int size);
    // Gives every slot in use its storage, at its first use; false when out of memory.
    bool Allocate();
    // Releases the slots' storage and the held blocks; the window starts afresh.
    void Release();
    bool IsAllocated() const { return m_allocated; }
    // Slides the samples by the given form (one this processor takes) rather than the
    // fastest, so that a test can hold the forms to the same flags.
    void UseSlide(SlideForm form) { m_slide = form; }

    // The slot the next ping is stored in, for reading a ping straight into it.
    int WritePos() const { return m_writePos; }
    PingStruct& Slot(int i) { return m_slots[i]; }
    // The slot's ping changed: its depth keys are to be renewed.
    void MarkStale(int slot) { m_keyStale[slot] = true; }

    // Judge the first and last pings of a run too, with the pings there are (a window not
    // yet full, or one-sided), instead of letting the first ones pass unjudged; at least
    // three pings, since two that disagree give no majority.
    void SetJudgeEdges(bool on) { m_judgeEdges = on; }
    // The fixed-ratio pass's step as a fraction of the median (0.03 unless set; a value
    // that is not positive and finite keeps 0.03).
    void SetFixedRatio(double ratio) { m_fixedRatio = ratio > 0.0 && ratio < 1.0 ? ratio : kFixedRatio; }

    // Stores ping (read into slot readSlot, -1 for another ping) in the window and, once
    // h + 1 pings are held, judges the middle one and makes ping refer to it (ShalowCopy).
    // False while the window fills; true when ping is the judged ping, or when out of
    // memory (ping passes unjudged).
    bool Push(PingStruct& ping, int readSlot, double quantScale);
    // Whether a ping of this time breaks the run of times the window holds (it then starts
    // afresh): the times of the last two stored pings run one way and this one goes back.
    // Equal times never break the run.
    bool Reverses(double time) const;
    // Pings stored and not yet given out.
    int Held() const { return m_held; }
    // Gives out the oldest held ping: ping refers to it, and with judge it is judged with
    // the pings the window holds on either side of it (up to h each), else it passes
    // unjudged. False when none is held. TakeBlock then hands over its block.
    bool TakeHeld(PingStruct& ping, bool judge, double quantScale);
    // Starts a new run: what the window holds is forgotten (give it out first).
    void Restart();
    // The block the last pushed ping came in, kept with it.
    void KeepBlock(const CDataBlock& block);
    // After a Push that gave a ping out: the window keeps block as the block of the ping
    // pushed, and block becomes the block of the ping given out (KeepBlock, then
    // TakeBlock, without copying block).
    void ExchangeBlock(CDataBlock& block);
    // The block the ping last given out came in (unchanged without one), exchanged with
    // block: the window no longer needs it.
    void TakeBlock(CDataBlock& block);
    // The block kept with the ping the last Push stored, nullptr when none was stored
    // since ForgetStored, a Push or TakeHeld.
    const CDataBlock* StoredBlock() const { return m_storedSlot >= 0 ? &m_blocks[m_storedSlot] : nullptr; }
    void ForgetStored() { m_storedSlot = -1; }

    // The p-quantile of v as the passes take it: v is sorted in place; no interpolation
    // below the second item, and at or above the second-largest position the
    // second-largest item. 0 for an empty v.
    static double Quantile(double p, std::vector<double>& v);

private:
    static int BufIndex(int i, int n) { return (i + n) % n; }
    // One pass over the middle slot with the pings at offsets first .. last (see the source).
    void Pass(int middle, int firstOffset, int lastOffset, bool spreadPass, double quantScale);
    // Both passes over a ping with the pings at offsets first .. last, and its ping bit.
    void JudgePartly(int middle, int firstOffset, int lastOffset, double quantScale);
    // Both passes at once once the window runs full (see the source).
    void Running(int middle, double quantScale);
    // The depth keys of a slot's samples, brought up to date with its flags when stale.
    const int32_t* KeyRow(int slot);

    static constexpr double kFixedRatio = 0.03;
    static constexpr double kLowerQuantile = 0.25;
    static constexpr double kUpperQuantile = 0.75;
    static constexpr double kMinSpread = 0.1;

    std::array<PingStruct, kSlots> m_slots;
    // The block each held ping came in: a ping leaves the window in its own block, so the
    // elements the ping exchange does not carry stay with their ping.
    std::array<CDataBlock, kSlots> m_blocks;
    int m_storedSlot = -1; // the slot the last Push stored its ping in, -1 none
    int m_middleSlot = -1; // the slot of the ping it gave out, -1 none
    int m_writePos = 0;
    int m_fill = 0;
    int m_held = 0; // stored and not yet given out
    bool m_judgeEdges = false;
    double m_fixedRatio = kFixedRatio;
    double m_spread = 4.0;
    bool m_allocated = false;
    SlideForm m_slide = SlideForm::Portable; // how the running passes slide the samples
    int m_size = 3;
    int m_slotCount = 5;

    // The sorted sample of a pass: at most 7 x 7 depths as order-keeping integer keys,
    // padded to a fixed length.
    static constexpr int kSampleSlots = 64;
    std::array<int32_t, kSampleSlots> m_sampleKeys{};
    // Per slot in use, the depth key of every beam that counts as a sample (kMaxBeams
    // each), with how far it may hold keys and whether the slot's flags changed since.
    std::vector<int32_t> m_keyRows;
    std::array<int, kSlots> m_keyExtent{};
    std::array<bool, kSlots> m_keyStale{};
    // The running passes: the sorted samples of the window's pings for the last few beams
    // (the spread pass trails the fixed-ratio pass), the sorted columns of those pings and
    // the middle ping's beams flagged by the passes that were samples.
    static constexpr int kMaxHalf = 3;
    static constexpr int kKeptSamples = kMaxHalf + 1; // the trailing pass's to the newest
    std::array<std::array<int32_t, kSampleSlots>, kKeptSamples> m_windowKeys{};
    std::array<int, kKeptSamples> m_windowSize{};
    std::vector<std::array<int32_t, 8>> m_columnKeys; // kMaxBeams, a column each
    std::vector<int> m_columnCounts;
    std::array<uint64_t, PingStruct::kMaxBeams / 64 + 2> m_flaggedBits{};
};

} // namespace kvs::multibeam::detail
