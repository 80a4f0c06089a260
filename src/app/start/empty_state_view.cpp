#include "app/start/empty_state_view.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "app/common/symbols.h"
#include "app/common/texts.h"
#include "app/start/folder_picker.h"

namespace ombrix {
namespace {

constexpr int kSymbolSize = 52;
constexpr int kExplanationWidth = 420;

}  // namespace

EmptyStateView::EmptyStateView(std::shared_ptr<sortappkit::AppModel> model, QWidget* parent)
    : QWidget(parent), model_(std::move(model)) {
  auto* symbol = new QLabel(this);
  symbol->setPixmap(
      symbolIcon(Symbol::chooseFolder, secondaryColor()).pixmap(kSymbolSize, kSymbolSize));
  symbol->setFixedSize(kSymbolSize, kSymbolSize);
  symbol->setAlignment(Qt::AlignCenter);

  auto* title = new QLabel(tr("Tidy a folder"), this);
  title->setFont(textFont(TextStyle::title2, QFont::DemiBold));
  title->setAlignment(Qt::AlignCenter);

  auto* explanation = new QLabel(
      tr("Ombrix groups the files in a folder — images, documents, installers and the rest — into "
         "subfolders. It shows you exactly what it would do first, and nothing moves until you "
         "say so."),
      this);
  explanation->setFont(textFont(TextStyle::callout));
  setTextColor(explanation, secondaryColor());
  explanation->setWordWrap(true);
  explanation->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  explanation->setFixedWidth(kExplanationWidth);
  // A centred item gets its size hint, not its height for the width it has.
  explanation->setMinimumHeight(explanation->heightForWidth(kExplanationWidth));

  chooseButton_ = new QPushButton(tr("Choose Folder…"), this);
  chooseButton_->setAccessibleName(chooseButton_->text());
  chooseButton_->setDefault(true);
  // A large control: a larger label and more room around it.
  chooseButton_->setFont(textFont(TextStyle::body));
  chooseButton_->setMinimumHeight(chooseButton_->sizeHint().height() + 8);
  chooseButton_->setMinimumWidth(chooseButton_->sizeHint().width() + 24);
  connect(chooseButton_, &QPushButton::clicked, this, &EmptyStateView::chooseFolder);

  earlierRuns_ = new QLabel(this);
  earlierRuns_->setFont(textFont(TextStyle::footnote));
  setTextColor(earlierRuns_, tertiaryColor());
  earlierRuns_->setAlignment(Qt::AlignCenter);

  auto* wording = new QVBoxLayout;
  wording->setSpacing(8);
  wording->addWidget(title, 0, Qt::AlignHCenter);
  wording->addWidget(explanation, 0, Qt::AlignHCenter);

  // Hidden items take neither room nor spacing, so the stack holds three or
  // four items as the earlier-runs line comes and goes.
  auto* stack = new QVBoxLayout(this);
  stack->setContentsMargins(40, 40, 40, 40);
  stack->setSpacing(20);
  stack->addStretch(1);
  stack->addWidget(symbol, 0, Qt::AlignHCenter);
  stack->addLayout(wording);
  stack->addWidget(chooseButton_, 0, Qt::AlignHCenter);
  stack->addWidget(earlierRuns_, 0, Qt::AlignHCenter);
  stack->addStretch(1);

  showEarlierRuns(model_->history().get());
  observations_.watch(model_->history(), [this](const auto& history) { showEarlierRuns(history); });
}

void EmptyStateView::chooseFolder() {
  std::optional<rozuzed::FileURL> chosen = FolderPicker::choose(this);
  if (!chosen) return;
  model_->chooseFolder(*chosen);
}

void EmptyStateView::showEarlierRuns(const std::vector<sortappkit::RunSummary>& history) {
  const auto count =
      std::count_if(history.begin(), history.end(), [](const auto& run) { return run.canUndo(); });
  earlierRuns_->setText(count > 0 ? texts::earlierRunsCanBeUndone(count) : QString());
  earlierRuns_->setVisible(count > 0);
}

}  // namespace ombrix
