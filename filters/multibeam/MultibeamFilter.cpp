#include <KvsDataBlocks/filters/multibeam/MultibeamFilter.h>

#include <KvsDataBlocks/filters/multibeam/detail/BeamWalk.h>
#include <KvsDataBlocks/filters/multibeam/detail/IhoOrder.h>
#include <KvsDataBlocks/filters/multibeam/detail/PingExchange.h>
#include <KvsDataBlocks/filters/multibeam/detail/StatisticsWindow.h>

#include <algorithm>

using kvs::multibeam::detail::IhoOrder;
using kvs::multibeam::detail::PingExchange;
using kvs::multibeam::detail::StatisticsWindow;

static_assert(MultibeamFilter::kWindowSlots == StatisticsWindow::kSlots);

MultibeamFilter::MultibeamFilter(CAttributeMap* attributes) : m_window(std::make_unique<StatisticsWindow>())
{
    SetAttributes(attributes);
}

MultibeamFilter::MultibeamFilter(const MultibeamFilter& other)
    : Filter(other), m_settings(other.m_settings), m_tests(other.m_tests), m_smartFilter(other.m_smartFilter),
      m_window(std::make_unique<StatisticsWindow>(*other.m_window)), m_nadirDepthStatus(other.m_nadirDepthStatus),
      m_pending(other.m_pending), m_lastInput(other.m_lastInput), m_lastInputHeld(other.m_lastInputHeld),
      m_lastMode(other.m_lastMode), m_work(other.m_work),
      m_drain(other.m_drain), m_backlog(other.m_backlog), m_readSlot(other.m_readSlot)
{
}

MultibeamFilter& MultibeamFilter::operator=(const MultibeamFilter& other)
{
    if (this == &other) return *this;
    Filter::operator=(other);
    m_settings = other.m_settings;
    m_tests = other.m_tests;
    m_smartFilter = other.m_smartFilter;
    *m_window = *other.m_window;
    m_nadirDepthStatus = other.m_nadirDepthStatus;
    m_pending = other.m_pending;
    m_lastInput = other.m_lastInput;
    m_lastInputHeld = other.m_lastInputHeld;
    m_lastMode = other.m_lastMode;
    m_work = other.m_work;
    m_drain = other.m_drain;
    m_backlog = other.m_backlog;
    m_readSlot = other.m_readSlot;
    return *this;
}

MultibeamFilter::~MultibeamFilter()
{
    ReleaseWindow();
}

bool MultibeamFilter::SetAttributes(CAttributeMap* attributes)
{
    m_settings.ResetSwitches();
    if (attributes) {
        const int window = m_settings.windowSize;
        m_settings.Read(*attributes);
        if (m_settings.windowSize != window) {
            m_work.Init(); // it may refer to a slot's arrays
            m_window->Resize(m_settings.windowSize);
        }
    }
    m_tests.Derive(m_settings);
    m_smartFilter.Derive(m_settings);
    m_window->SetJudgeEdges(m_settings.statsJudgeEdges);
    m_window->SetFixedRatio(m_settings.statsFixedRatio);
    m_pending = 0;
    return true;
}

bool MultibeamFilter::IsWindowAllocated() const
{
    return m_window->IsAllocated();
}

void MultibeamFilter::ReleaseWindow()
{
    // The working ping may refer to a slot's arrays: it must not keep pointing there.
    m_work.Init();
    m_window->Release();
}

bool MultibeamFilter::Process(CDataBlock& block, COMPUPDATEMODE mode)
{
    // An unreadable block is refused before it is recorded: were it kept as the last
    // input, draining would feed it again and lose the pings still held.
    if (!PingExchange::IsReadable(block)) return false;
    m_lastMode = mode;
    // Only a full pass puts the ping into the window; in mode 3 nothing is held.
    const bool windowed = m_settings.statistics && mode != kErrorLimitsOnly;
    // The last input serves only the draining of held pings, and pings are held only
    // while statistics are on (switching them on zeroes the pending count). A ping read
    // into the window leaves its block there as it came, so that the copy is taken only
    // if draining begins; else it is taken now, before the pass changes the block.
    m_lastInputHeld = false;
    const bool intoWindow = windowed && m_window->Allocate();
    if (m_settings.statistics && !intoWindow) m_lastInput = block;
    // Pings held when the times reverse go out before the new run starts.
    if (windowed && m_window->Reverses(block.GetTime())) FlushWindow();
    if (windowed) m_pending = std::min(m_pending + 1, m_settings.windowSize / 2);
    if (intoWindow) m_window->ForgetStored();
    const bool done = ProcessInternal(block, mode);
    if (intoWindow) {
        // A ping that could not be read was not stored, and its block is as it came.
        m_lastInputHeld = m_window->StoredBlock() != nullptr;
        if (!m_lastInputHeld) m_lastInput = block;
    }
    const bool ready = Deliver(block, done);
    if (windowed) CountPending();
    return ready;
}

void MultibeamFilter::CountPending()
{
    // The pings the window holds and the finished ones waiting: as many as the draining
    // is to give out (without a reversal, the count the window's fill gives).
    m_pending = m_window->Held() + static_cast<int>(m_backlog.size());
}

void MultibeamFilter::FlushWindow()
{
    PingStruct& ping = m_work;
    CDataBlock held;
    while (m_window->TakeHeld(ping, m_settings.statsJudgeEdges, m_settings.quantScale)) {
        m_window->TakeBlock(held);
        m_readSlot = -1;
        FinishPing(held, ping, false);
        m_backlog.emplace_back();
        m_backlog.back().Swap(held);
    }
    m_work.Init(); // it referred to a slot's arrays
    m_window->Restart();
}

bool MultibeamFilter::Deliver(CDataBlock& block, bool ready)
{
    if (m_backlog.empty()) return ready;
    if (ready) {
        m_backlog.emplace_back();
        m_backlog.back().Swap(block);
    }
    block.Swap(m_backlog.front());
    m_backlog.pop_front();
    return true;
}

bool MultibeamFilter::ProcessInternal(CDataBlock& block, COMPUPDATEMODE mode)
{
    const MultibeamSettings& s = m_settings;
    PingStruct& ping = m_work;
    const bool errorOnly = mode == kErrorLimitsOnly;
    // With statistics on, the ping is read straight into the window slot it is to take
    // (the oldest one, whose ping has served), so that its arrays are copied only once.
    m_readSlot = s.statistics && !errorOnly && m_window->Allocate() ? m_window->WritePos() : -1;
    if (m_readSlot >= 0) {
        if (!ReadDatablock(block, m_window->Slot(m_readSlot))) return false;
        m_window->MarkStale(m_readSlot);
        ping.ShalowCopy(m_window->Slot(m_readSlot));
    } else if (!ReadDatablock(block, ping)) {
        return false;
    }
    const unsigned int keep = errorOnly ? kKeepInErrorMode : kKeepInFullMode;
    for (int i = 0; i < ping.beamCount; ++i) ping.flags[i] &= keep;
    // Mode 3 keeps every flag of the earlier pass, in the ping word too, but the
    // validation bit is judged again.
    ping.pingFlags &= errorOnly ? ~kFlagPingInvalid : 0xFFu;
    ping.nadirBeam = -1;

    if (!errorOnly) {
        if (s.beamReject) m_tests.FilterBeam(ping, s);
        if (s.quality) m_tests.FilterQuality(ping, s);
        if (s.range) m_tests.FilterRange(ping, s);
        if (s.depth) m_tests.FilterDepth(ping, s);
        if (s.nadir) m_tests.FilterNadir(ping, s);
        if (s.slope) m_tests.FilterSlope(ping, s);
        if (s.angle) m_tests.FilterAngle(ping, s);
        if (s.statistics) {
            const bool out = m_window->Push(ping, m_readSlot, s.quantScale);
            if (!out) {
                // The ping stays in the window with a copy of its block; the block keeps its
                // flags as filtered so far.
                m_window->KeepBlock(block);
                PingExchange::WriteFlags(block, ping.flags, ping.beamCount);
                return false;
            }
            // The block goes into the window with its ping, and the ping given out is
            // written into the block it came in.
            m_window->ExchangeBlock(block);
        }
    }
    FinishPing(block, ping, errorOnly);
    return true;
}

void MultibeamFilter::FinishPing(CDataBlock& block, PingStruct& ping, bool errorOnly)
{
    const MultibeamSettings& s = m_settings;
    if (!errorOnly) {
        if (s.flyingObjects) m_tests.FilterbFlyingObjects(ping, s);
        if (s.smart) m_smartFilter.Run(ping, s, kFlagSmart);
    }
    if (s.ihoError) m_tests.FilterIHO(ping);
    if (s.customError) m_tests.FilterCustom(ping, s);

    int rejected = 0;
    for (int i = 0; i < ping.beamCount; ++i)
        if (kvs::multibeam::detail::Rejected(ping, i)) ++rejected;
    ping.rejectedCount = rejected;
    ComputeNadirDepth(ping);
    ValidatePing(ping);
    WriteDatablock(block, ping);
}

bool MultibeamFilter::ReadDatablock(CDataBlock& block, PingStruct& ping)
{
    return PingExchange::Read(block, ping, m_settings.ihoByDepth ? IhoOrder::kByDepth : m_settings.ihoOrder);
}

bool MultibeamFilter::WriteDatablock(CDataBlock& block, PingStruct& ping)
{
    // Without statistics the ping was read from this very block, and the tests change no
    // array of it but the flags.
    PingExchange::Write(block, ping, m_nadirDepthStatus, !m_settings.statistics && m_readSlot < 0);
    return true;
}

bool MultibeamFilter::ComputeNadirDepth(PingStruct& ping)
{
    ping.CompNadirDepth();
    m_nadirDepthStatus = ping.nadirBeam >= 0 ? kvs::kStatusValid : kvs::kStatusInvalid;
    return ping.nadirBeam >= 0;
}

bool MultibeamFilter::ValidatePing(PingStruct& ping)
{
    const int n = ping.beamCount;
    const bool invalid =
        n <= 0 || ping.rejectedCount * 100 / n > m_settings.maxRejectPercent || ping.rejectedCount >= n;
    if (invalid) ping.pingFlags |= kFlagPingInvalid;
    return !invalid;
}

bool MultibeamFilter::GetRemainder(CDataBlock& block)
{
    if (m_lastInputHeld) {
        // Before anything leaves the window: the last input is the block it stored last.
        if (const CDataBlock* held = m_window->StoredBlock()) m_lastInput = *held;
        m_lastInputHeld = false;
    }
    if (!m_backlog.empty()) {
        block.Swap(m_backlog.front());
        m_backlog.pop_front();
        m_pending = std::max(m_pending - 1, 0);
        return true;
    }
    // Judged edges: each held ping with the pings on either side of it there are. After a
    // last pass in mode 3, which holds nothing, feeding the last input again would bring
    // no held ping out (it would come out itself, again and again): the held pings go out
    // as at a reversal, judged so only with the edges judged. They came in by full passes,
    // and are finished as such.
    const bool lastHeldNothing = m_lastMode == kErrorLimitsOnly;
    if (m_pending > 0 && m_settings.statistics && (m_settings.statsJudgeEdges || lastHeldNothing)) {
        if (m_window->TakeHeld(m_work, m_settings.statsJudgeEdges, m_settings.quantScale)) {
            m_window->TakeBlock(block);
            m_readSlot = -1;
            FinishPing(block, m_work, false);
            --m_pending;
            return true;
        }
        if (lastHeldNothing) m_pending = 0;
    }
    if (m_pending <= 0) {
        ReleaseWindow();
        m_pending = 0;
        return false;
    }
    // Feeding the last input again brings out the next held ping. A stream shorter than
    // half the window takes more than one feed before the window gives anything out.
    for (int feed = 0; feed <= m_settings.windowSize; ++feed) {
        m_drain = m_lastInput;
        if (ProcessInternal(m_drain, m_lastMode)) {
            block = m_drain;
            --m_pending;
            return true;
        }
    }
    m_pending = 0;
    ReleaseWindow();
    return false;
}

float MultibeamFilter::Compute_IHO_VERT_Error(float d) const
{
    const IhoOrder* o = IhoOrder::Find(m_settings.ihoOrder);
    return o ? o->VertError(d) : 0.0f;
}

float MultibeamFilter::Compute_IHO_HOR_Error(float d) const
{
    const IhoOrder* o = IhoOrder::Find(m_settings.ihoOrder);
    return o ? o->HorError(d) : 0.0f;
}

double MultibeamFilter::Quantile(double p, std::vector<double>& v)
{
    return StatisticsWindow::Quantile(p, v);
}
