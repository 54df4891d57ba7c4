<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>BorderlessMainWindow</name>
    <message>
        <source>Morvex (v1.61)  -  liver and vessel annotation workstation</source>
        <translation>Morvex (v1.61)  -  liver and vessel annotation workstation</translation>
    </message>
</context>
<context>
    <name>CHistogramView</name>
    <message>
        <source>HU</source>
        <translation>HU</translation>
    </message>
</context>
<context>
    <name>CImage</name>
    <message>
        <source>Slice %1 / %2</source>
        <translation>Slice %1 / %2</translation>
    </message>
    <message>
        <source>z %1 mm</source>
        <translation>z %1 mm</translation>
    </message>
    <message>
        <source>W %1 / L %2</source>
        <translation>W %1 / L %2</translation>
    </message>
    <message>
        <source>Zoom %1 %</source>
        <translation>Zoom %1 %</translation>
    </message>
    <message>
        <source>Right lobe</source>
        <translation>Right lobe</translation>
    </message>
    <message>
        <source>Left lobe</source>
        <translation>Left lobe</translation>
    </message>
    <message>
        <source>Vessel (right / left)</source>
        <translation>Vessel (right / left)</translation>
    </message>
    <message>
        <source>Line being drawn</source>
        <translation>Line being drawn</translation>
    </message>
    <message>
        <source>Dividing line of this slice</source>
        <translation>Dividing line of this slice</translation>
    </message>
    <message>
        <source>Interpolated dividing line</source>
        <translation>Interpolated dividing line</translation>
    </message>
    <message>
        <source>area(Whole liver):</source>
        <translation>area(Whole liver):</translation>
    </message>
</context>
<context>
    <name>CPlaneView</name>
    <message>
        <source>Coronal</source>
        <translation>Coronal</translation>
    </message>
    <message>
        <source>Sagittal</source>
        <translation>Sagittal</translation>
    </message>
</context>
<context>
    <name>CSurfaceView</name>
    <message>
        <source>no display</source>
        <translation>no display</translation>
    </message>
    <message>
        <source>no OpenGL</source>
        <translation>no OpenGL</translation>
    </message>
    <message>
        <source>OpenGL %1.%2 is older than 3.2</source>
        <translation>OpenGL %1.%2 is older than 3.2</translation>
    </message>
    <message>
        <source>3D view unavailable: %1</source>
        <translation>3D view unavailable: %1</translation>
    </message>
    <message>
        <source>Reset view</source>
        <translation>Reset view</translation>
    </message>
    <message>
        <source>Front view, head up (R)</source>
        <translation>Front view, head up (R)</translation>
    </message>
    <message>
        <source>Axial slice</source>
        <translation>Axial slice</translation>
    </message>
    <message>
        <source>Snapshot...</source>
        <translation>Snapshot...</translation>
    </message>
    <message>
        <source>Save 3D snapshot</source>
        <translation>Save 3D snapshot</translation>
    </message>
    <message>
        <source>PNG images (*.png)</source>
        <translation>PNG images (*.png)</translation>
    </message>
    <message>
        <source>Snapshot</source>
        <translation>Snapshot</translation>
    </message>
    <message>
        <source>Could not write %1</source>
        <translation>Could not write %1</translation>
    </message>
</context>
<context>
    <name>Morvex</name>
    <message>
        <source>not a slice this program can read</source>
        <translation>not a slice this program can read</translation>
    </message>
    <message>
        <source>Redo</source>
        <translation>Redo</translation>
    </message>
    <message>
        <source>File</source>
        <translation>File</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Stops the run; the labels stay as they were before it</source>
        <translation>Stops the run; the labels stay as they were before it</translation>
    </message>
    <message>
        <source>and %1 more</source>
        <translation>and %1 more</translation>
    </message>
    <message>
        <source>Some files could not be read.</source>
        <translation>Some files could not be read.</translation>
    </message>
    <message>
        <source>Apply</source>
        <translation>Apply</translation>
    </message>
    <message>
        <source>Vessel segmentation</source>
        <translation>Vessel segmentation</translation>
    </message>
    <message>
        <source>Not enough memory for the vessel segmentation of this series</source>
        <translation>Not enough memory for the vessel segmentation of this series</translation>
    </message>
    <message>
        <source>Vessel segmentation: %1 voxels labelled Vessel (%2 mL) in %3 s</source>
        <translation>Vessel segmentation: %1 voxels labelled Vessel (%2 mL) in %3 s</translation>
    </message>
    <message>
        <source>Please select a label first.</source>
        <translation>Please select a label first.</translation>
    </message>
    <message>
        <source>(a path longer than 1023 bytes)</source>
        <translation>(a path longer than 1023 bytes)</translation>
    </message>
    <message>
        <source>The labels have unsaved changes. Save them first?</source>
        <translation>The labels have unsaved changes. Save them first?</translation>
    </message>
    <message>
        <source>Save failed: %1</source>
        <translation>Save failed: %1</translation>
    </message>
    <message>
        <source>The files could not be saved:</source>
        <translation>The files could not be saved:</translation>
    </message>
    <message>
        <source>Saved to %1</source>
        <translation>Saved to %1</translation>
    </message>
    <message>
        <source> and </source>
        <translation> and </translation>
    </message>
    <message>
        <source>Save Directory</source>
        <translation>Save Directory</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>Select a file to open...</source>
        <translation>Select a file to open...</translation>
    </message>
    <message>
        <source>Dicom Files (*.dcm)</source>
        <translation>Dicom Files (*.dcm)</translation>
    </message>
    <message>
        <source>Mask Image (*.png *.tiff *.nii *.nii.gz)</source>
        <translation>Mask Image (*.png *.tiff *.nii *.nii.gz)</translation>
    </message>
    <message>
        <source>Fill between slices</source>
        <translation>Fill between slices</translation>
    </message>
    <message>
        <source>Fill between slices (Ctrl+I): the slices between two slices that hold the current label receive the shape interpolated between them, on unlabelled pixels only; shown as a preview until Apply</source>
        <translation>Fill between slices (Ctrl+I): the slices between two slices that hold the current label receive the shape interpolated between them, on unlabelled pixels only; shown as a preview until Apply</translation>
    </message>
    <message>
        <source>Edit</source>
        <translation>Edit</translation>
    </message>
    <message>
        <source>Writes the previewed fill into the labels as one undo step</source>
        <translation>Writes the previewed fill into the labels as one undo step</translation>
    </message>
    <message>
        <source>Drops the previewed fill; the labels stay as they are</source>
        <translation>Drops the previewed fill; the labels stay as they are</translation>
    </message>
    <message>
        <source>Fill between slices: choose a label first</source>
        <translation>Fill between slices: choose a label first</translation>
    </message>
    <message>
        <source>Fill between slices failed: not enough memory for the series</source>
        <translation>Fill between slices failed: not enough memory for the series</translation>
    </message>
    <message>
        <source>Fill between slices: nothing to fill; %1 needs two slices that hold it with unlabelled slices between them</source>
        <translation>Fill between slices: nothing to fill; %1 needs two slices that hold it with unlabelled slices between them</translation>
    </message>
    <message>
        <source>Fill between slices cancelled; the labels are as they were</source>
        <translation>Fill between slices cancelled; the labels are as they were</translation>
    </message>
    <message>
        <source>Fill between slices: %1 slices filled between %2 key slices</source>
        <translation>Fill between slices: %1 slices filled between %2 key slices</translation>
    </message>
    <message>
        <source>Fill between slices: %1 slices to fill between %2 key slices (Apply or Cancel)</source>
        <translation>Fill between slices: %1 slices to fill between %2 key slices (Apply or Cancel)</translation>
    </message>
    <message>
        <source>; other labels left holes in %1 slices (%2 pixels)</source>
        <translation>; other labels left holes in %1 slices (%2 pixels)</translation>
    </message>
    <message>
        <source>; other labels leave holes in %1 slices (%2 pixels)</source>
        <translation>; other labels leave holes in %1 slices (%2 pixels)</translation>
    </message>
    <message>
        <source>Soft</source>
        <translation>Soft</translation>
    </message>
    <message>
        <source>Default</source>
        <translation>Default</translation>
    </message>
    <message>
        <source>Hard</source>
        <translation>Hard</translation>
    </message>
    <message>
        <source>Not enough memory for LiverSeg on this series</source>
        <translation>Not enough memory for LiverSeg on this series</translation>
    </message>
    <message>
        <source>Please outline the liver first.</source>
        <translation>Please outline the liver first.</translation>
    </message>
    <message>
        <source>LiverSeg: %1 slices labelled</source>
        <translation>LiverSeg: %1 slices labelled</translation>
    </message>
    <message>
        <source> (the closed outline was filled as the seed: %1 pixels)</source>
        <translation> (the closed outline was filled as the seed: %1 pixels)</translation>
    </message>
    <message>
        <source>No liver region was found. The outline you drew was kept.</source>
        <translation>No liver region was found. The outline you drew was kept.</translation>
    </message>
    <message>
        <source>%1 running</source>
        <translation>%1 running</translation>
    </message>
    <message>
        <source>%1 cancelled: the labels are as they were</source>
        <translation>%1 cancelled: the labels are as they were</translation>
    </message>
    <message>
        <source>Cancelling...</source>
        <translation>Cancelling...</translation>
    </message>
    <message>
        <source>Labels of this series were kept from a session that did not close (%1 slices). Restore them?</source>
        <translation>Labels of this series were kept from a session that did not close (%1 slices). Restore them?</translation>
    </message>
    <message>
        <source>On</source>
        <translation>On</translation>
    </message>
    <message>
        <source>Open Folder</source>
        <translation>Open Folder</translation>
    </message>
    <message>
        <source>Open every slice in a folder and its subfolders (Ctrl+Shift+O)</source>
        <translation>Open every slice in a folder and its subfolders (Ctrl+Shift+O)</translation>
    </message>
    <message>
        <source>All files (*)</source>
        <translation>All files (*)</translation>
    </message>
    <message>
        <source>Select a folder to open...</source>
        <translation>Select a folder to open...</translation>
    </message>
    <message>
        <source>First slice (instance number) of the slice range that Fill between slices works on</source>
        <translation>First slice (instance number) of the slice range that Fill between slices works on</translation>
    </message>
    <message>
        <source>Last slice (instance number) of the slice range that Fill between slices works on</source>
        <translation>Last slice (instance number) of the slice range that Fill between slices works on</translation>
    </message>
    <message>
        <source>Lowest intensity (HU) selected as vessel by the vessel threshold</source>
        <translation>Lowest intensity (HU) selected as vessel by the vessel threshold</translation>
    </message>
    <message>
        <source>Highest intensity (HU) selected as vessel by the vessel threshold</source>
        <translation>Highest intensity (HU) selected as vessel by the vessel threshold</translation>
    </message>
    <message>
        <source>Vessel threshold: On selects the liver pixels in the range above; Apply makes them vessel</source>
        <translation>Vessel threshold: On selects the liver pixels in the range above; Apply makes them vessel</translation>
    </message>
    <message>
        <source>Display window preset</source>
        <translation>Display window preset</translation>
    </message>
    <message>
        <source>Window level (centre of the displayed intensities, HU)</source>
        <translation>Window level (centre of the displayed intensities, HU)</translation>
    </message>
    <message>
        <source>Window width (span of the displayed intensities, HU)</source>
        <translation>Window width (span of the displayed intensities, HU)</translation>
    </message>
    <message>
        <source>Brush and eraser diameter in screen pixels (keys [ and ])</source>
        <translation>Brush and eraser diameter in screen pixels (keys [ and ])</translation>
    </message>
    <message>
        <source>Cut: draw a line across a region to cut it; right click removes a part (key C)</source>
        <translation>Cut: draw a line across a region to cut it; right click removes a part (key C)</translation>
    </message>
    <message>
        <source>Eraser: paint to remove the current label (key E)</source>
        <translation>Eraser: paint to remove the current label (key E)</translation>
    </message>
    <message>
        <source>Brush: paint the current label (key B)</source>
        <translation>Brush: paint the current label (key B)</translation>
    </message>
    <message>
        <source>Add: draw a closed line to add its inside to a region (key A)</source>
        <translation>Add: draw a closed line to add its inside to a region (key A)</translation>
    </message>
    <message>
        <source>Select: click to grow a selection from the pixel; Ctrl adds to it (key S)</source>
        <translation>Select: click to grow a selection from the pixel; Ctrl adds to it (key S)</translation>
    </message>
    <message>
        <source>ROI: drag a rectangle on the image; tools then work only inside it (click again to clear)</source>
        <translation>ROI: drag a rectangle on the image; tools then work only inside it (click again to clear)</translation>
    </message>
    <message>
        <source>Live wire: click points along an edge; the path follows the edge (key L, Backspace drops a point)</source>
        <translation>Live wire: click points along an edge; the path follows the edge (key L, Backspace drops a point)</translation>
    </message>
    <message>
        <source>Liver tools work on the shown slice only</source>
        <translation>Liver tools work on the shown slice only</translation>
    </message>
    <message>
        <source>Liver tools work on the whole series</source>
        <translation>Liver tools work on the whole series</translation>
    </message>
    <message>
        <source>Split the liver into left and right on this slice: draw the dividing line</source>
        <translation>Split the liver into left and right on this slice: draw the dividing line</translation>
    </message>
    <message>
        <source>Split the liver into left and right through the series: draw the dividing line</source>
        <translation>Split the liver into left and right through the series: draw the dividing line</translation>
    </message>
    <message>
        <source>Split the liver on several slices; the slices between are interpolated</source>
        <translation>Split the liver on several slices; the slices between are interpolated</translation>
    </message>
    <message>
        <source>LiverSeg: segment the liver through the series from the outline drawn on this slice</source>
        <translation>LiverSeg: segment the liver through the series from the outline drawn on this slice</translation>
    </message>
    <message>
        <source>Softer liver segmentation</source>
        <translation>Softer liver segmentation</translation>
    </message>
    <message>
        <source>Liver segmentation strength (Soft, Default, Hard)</source>
        <translation>Liver segmentation strength (Soft, Default, Hard)</translation>
    </message>
    <message>
        <source>Harder liver segmentation</source>
        <translation>Harder liver segmentation</translation>
    </message>
    <message>
        <source>Intensity tolerance of the initial vessel seed pixels (0 to 1)</source>
        <translation>Intensity tolerance of the initial vessel seed pixels (0 to 1)</translation>
    </message>
    <message>
        <source>Intensity tolerance when the vessels grow from the seeds (0 to 1)</source>
        <translation>Intensity tolerance when the vessels grow from the seeds (0 to 1)</translation>
    </message>
    <message>
        <source>Pixels by which the seed region is shrunk before growing</source>
        <translation>Pixels by which the seed region is shrunk before growing</translation>
    </message>
    <message>
        <source>Vessel: grow the vessels inside the liver from the selected seeds</source>
        <translation>Vessel: grow the vessels inside the liver from the selected seeds</translation>
    </message>
    <message>
        <source>Set low and high to the liver&apos;s dominant intensity range</source>
        <translation>Set low and high to the liver&apos;s dominant intensity range</translation>
    </message>
    <message>
        <source>Low intensity (HU) of the analysis interval</source>
        <translation>Low intensity (HU) of the analysis interval</translation>
    </message>
    <message>
        <source>High intensity (HU) of the analysis interval</source>
        <translation>High intensity (HU) of the analysis interval</translation>
    </message>
    <message>
        <source>Analyse the whole liver</source>
        <translation>Analyse the whole liver</translation>
    </message>
    <message>
        <source>Analyse the right lobe</source>
        <translation>Analyse the right lobe</translation>
    </message>
    <message>
        <source>Analyse the left lobe</source>
        <translation>Analyse the left lobe</translation>
    </message>
    <message>
        <source>Select liver pixels below low</source>
        <translation>Select liver pixels below low</translation>
    </message>
    <message>
        <source>Select liver pixels from low to high</source>
        <translation>Select liver pixels from low to high</translation>
    </message>
    <message>
        <source>Select liver pixels above high</source>
        <translation>Select liver pixels above high</translation>
    </message>
    <message>
        <source>Save the histograms of the whole series</source>
        <translation>Save the histograms of the whole series</translation>
    </message>
    <message>
        <source>Save the histogram of the shown slice</source>
        <translation>Save the histogram of the shown slice</translation>
    </message>
    <message>
        <source>Opacity of the label colours over the image (keys 0-9 set 0 to 90 %)</source>
        <translation>Opacity of the label colours over the image (keys 0-9 set 0 to 90 %)</translation>
    </message>
    <message>
        <source>Label layers: click a label to make it the current one; tick it to show or hide it</source>
        <translation>Label layers: click a label to make it the current one; tick it to show or hide it</translation>
    </message>
    <message>
        <source>Apply: turn the selection into the current label</source>
        <translation>Apply: turn the selection into the current label</translation>
    </message>
    <message>
        <source>Delete: remove the selected region from the labels</source>
        <translation>Delete: remove the selected region from the labels</translation>
    </message>
    <message>
        <source>DeleteAll: remove every label of the shown slice</source>
        <translation>DeleteAll: remove every label of the shown slice</translation>
    </message>
    <message>
        <source>Opened slices by patient and series; double click (or arrow keys) shows a slice</source>
        <translation>Opened slices by patient and series; double click (or arrow keys) shows a slice</translation>
    </message>
    <message>
        <source>Open slice files (Ctrl+O)</source>
        <translation>Open slice files (Ctrl+O)</translation>
    </message>
    <message>
        <source>Load label masks onto the opened slices</source>
        <translation>Load label masks onto the opened slices</translation>
    </message>
    <message>
        <source>Save the labels, statistics and report (Ctrl+S)</source>
        <translation>Save the labels, statistics and report (Ctrl+S)</translation>
    </message>
    <message>
        <source>Save the labels of every series</source>
        <translation>Save the labels of every series</translation>
    </message>
    <message>
        <source>Undo (Ctrl+Z; redo Ctrl+Y)</source>
        <translation>Undo (Ctrl+Z; redo Ctrl+Y)</translation>
    </message>
    <message>
        <source>Show or hide the readout and the corner information (key I)</source>
        <translation>Show or hide the readout and the corner information (key I)</translation>
    </message>
    <message>
        <source>Adjust the display window by dragging on the image</source>
        <translation>Adjust the display window by dragging on the image</translation>
    </message>
    <message>
        <source>Archive</source>
        <translation>Archive</translation>
    </message>
    <message>
        <source>Query and retrieve...</source>
        <translation>Query and retrieve...</translation>
    </message>
    <message>
        <source>Send to archive...</source>
        <translation>Send to archive...</translation>
    </message>
    <message>
        <source>Archive nodes...</source>
        <translation>Archive nodes...</translation>
    </message>
    <message>
        <source>1 + 2</source>
        <translation>1 + 2</translation>
    </message>
    <message>
        <source>Axial slice with coronal and sagittal planes (V)</source>
        <translation>Axial slice with coronal and sagittal planes (V)</translation>
    </message>
    <message>
        <source>This tool works on the axial slice only; Shift-click moves the planes.</source>
        <translation>This tool works on the axial slice only; Shift-click moves the planes.</translation>
    </message>
    <message>
        <source>Resection plans</source>
        <translation>Resection plans</translation>
    </message>
    <message>
        <source>Plan</source>
        <translation>Plan</translation>
    </message>
    <message>
        <source>Plan %1</source>
        <translation>Plan %1</translation>
    </message>
    <message>
        <source>Draw key lines with Divide (interpolation) first; the plan takes them without dividing the liver.</source>
        <translation>Draw key lines with Divide (interpolation) first; the plan takes them without dividing the liver.</translation>
    </message>
    <message>
        <source>Remnant %1 % (%2)</source>
        <translation>Remnant %1 % (%2)</translation>
    </message>
    <message>
        <source>PDF report</source>
        <translation>PDF report</translation>
    </message>
    <message>
        <source>PDF (*.pdf)</source>
        <translation>PDF (*.pdf)</translation>
    </message>
    <message>
        <source>Report</source>
        <translation>Report</translation>
    </message>
    <message>
        <source>The resection plans were not saved: %1</source>
        <translation>The resection plans were not saved: %1</translation>
    </message>
    <message>
        <source>The resection plans were not loaded: %1</source>
        <translation>The resection plans were not loaded: %1</translation>
    </message>
    <message>
        <source>Tumour: segment the liver first; the lesion is sought inside it</source>
        <translation>Tumour: segment the liver first; the lesion is sought inside it</translation>
    </message>
    <message>
        <source>Tumour: the click lies outside the liver</source>
        <translation>Tumour: the click lies outside the liver</translation>
    </message>
    <message>
        <source>Tumour: the click&apos;s intensity is that of the liver; click inside a lesion</source>
        <translation>Tumour: the click&apos;s intensity is that of the liver; click inside a lesion</translation>
    </message>
    <message>
        <source>Tumour: the region ran beyond any lesion&apos;s size; nothing was labelled</source>
        <translation>Tumour: the region ran beyond any lesion&apos;s size; nothing was labelled</translation>
    </message>
    <message>
        <source>Tumour: no lesion found at the click</source>
        <translation>Tumour: no lesion found at the click</translation>
    </message>
    <message>
        <source>Tumour</source>
        <translation>Tumour</translation>
    </message>
    <message>
        <source>Not enough memory for the tumour on this series</source>
        <translation>Not enough memory for the tumour on this series</translation>
    </message>
    <message>
        <source>Tumour: %1 mL on %2 slices</source>
        <translation>Tumour: %1 mL on %2 slices</translation>
    </message>
    <message>
        <source>3D View</source>
        <translation>3D View</translation>
    </message>
    <message>
        <source>3D</source>
        <translation>3D</translation>
    </message>
    <message>
        <source>Show the 3D view of the labels (the fourth pane with three planes, else a panel)</source>
        <translation>Show the 3D view of the labels (the fourth pane with three planes, else a panel)</translation>
    </message>
    <message>
        <source>Checked: shown in the 3D view</source>
        <translation>Checked: shown in the 3D view</translation>
    </message>
    <message>
        <source>3D view</source>
        <translation>3D view</translation>
    </message>
</context>
<context>
    <name>MorvexClass</name>
    <message>
        <source>Morvex</source>
        <translation>Morvex</translation>
    </message>
    <message>
        <source>DICOM</source>
        <translation>DICOM</translation>
    </message>
    <message>
        <source>DICOM info</source>
        <translation>DICOM info</translation>
    </message>
    <message>
        <source>Description</source>
        <translation>Description</translation>
    </message>
    <message>
        <source>Value</source>
        <translation>Value</translation>
    </message>
    <message>
        <source> SliceNo. </source>
        <translation> SliceNo. </translation>
    </message>
    <message>
        <source>~</source>
        <translation>~</translation>
    </message>
    <message>
        <source>Vessel</source>
        <translation>Vessel</translation>
    </message>
    <message>
        <source>On</source>
        <translation>On</translation>
    </message>
    <message>
        <source>Histogram</source>
        <translation>Histogram</translation>
    </message>
    <message>
        <source>DCM</source>
        <translation>DCM</translation>
    </message>
    <message>
        <source>Auto</source>
        <translation>Auto</translation>
    </message>
    <message>
        <source>Full Dynamic</source>
        <translation>Full Dynamic</translation>
    </message>
    <message>
        <source>MR PDFF (WL: 0, WW: 300)</source>
        <translation>MR PDFF (WL: 0, WW: 300)</translation>
    </message>
    <message>
        <source>Custom</source>
        <translation>Custom</translation>
    </message>
    <message>
        <source>WL</source>
        <translation>WL</translation>
    </message>
    <message>
        <source>WW</source>
        <translation>WW</translation>
    </message>
    <message>
        <source>Tool</source>
        <translation>Tool</translation>
    </message>
    <message>
        <source>Brush Size</source>
        <translation>Brush Size</translation>
    </message>
    <message>
        <source>(C)ut</source>
        <translation>(C)ut</translation>
    </message>
    <message>
        <source>(E)raser</source>
        <translation>(E)raser</translation>
    </message>
    <message>
        <source>(B)rush</source>
        <translation>(B)rush</translation>
    </message>
    <message>
        <source>(A)dd</source>
        <translation>(A)dd</translation>
    </message>
    <message>
        <source>(S)elect</source>
        <translation>(S)elect</translation>
    </message>
    <message>
        <source>ROI</source>
        <translation>ROI</translation>
    </message>
    <message>
        <source>(L)ivewire</source>
        <translation>(L)ivewire</translation>
    </message>
    <message>
        <source>Liver</source>
        <translation>Liver</translation>
    </message>
    <message>
        <source>2D</source>
        <translation>2D</translation>
    </message>
    <message>
        <source>3D</source>
        <translation>3D</translation>
    </message>
    <message>
        <source>2D Split</source>
        <translation>2D Split</translation>
    </message>
    <message>
        <source>3D Split</source>
        <translation>3D Split</translation>
    </message>
    <message>
        <source>MultiSplit</source>
        <translation>MultiSplit</translation>
    </message>
    <message>
        <source>LiverSeg</source>
        <translation>LiverSeg</translation>
    </message>
    <message>
        <source>&lt;</source>
        <translation>&lt;</translation>
    </message>
    <message>
        <source>&gt;</source>
        <translation>&gt;</translation>
    </message>
    <message>
        <source>Default</source>
        <translation>Default</translation>
    </message>
    <message>
        <source>Initial seed tolerance</source>
        <translation>Initial seed tolerance</translation>
    </message>
    <message>
        <source>Growth tolerance</source>
        <translation>Growth tolerance</translation>
    </message>
    <message>
        <source>Seed shrink range</source>
        <translation>Seed shrink range</translation>
    </message>
    <message>
        <source>Analysis</source>
        <translation>Analysis</translation>
    </message>
    <message>
        <source>low</source>
        <translation>low</translation>
    </message>
    <message>
        <source>high</source>
        <translation>high</translation>
    </message>
    <message>
        <source>Whole</source>
        <translation>Whole</translation>
    </message>
    <message>
        <source>Right lobe</source>
        <translation>Right lobe</translation>
    </message>
    <message>
        <source>Left lobe</source>
        <translation>Left lobe</translation>
    </message>
    <message>
        <source>min</source>
        <translation>min</translation>
    </message>
    <message>
        <source>Q1</source>
        <translation>Q1</translation>
    </message>
    <message>
        <source>median</source>
        <translation>median</translation>
    </message>
    <message>
        <source>Q3</source>
        <translation>Q3</translation>
    </message>
    <message>
        <source>max</source>
        <translation>max</translation>
    </message>
    <message>
        <source>0</source>
        <translation>0</translation>
    </message>
    <message>
        <source>Average</source>
        <translation>Average</translation>
    </message>
    <message>
        <source>Std.</source>
        <translation>Std.</translation>
    </message>
    <message>
        <source>PixelCnt</source>
        <translation>PixelCnt</translation>
    </message>
    <message>
        <source>&lt; low</source>
        <translation>&lt; low</translation>
    </message>
    <message>
        <source>low~high</source>
        <translation>low~high</translation>
    </message>
    <message>
        <source>&gt;high</source>
        <translation>&gt;high</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;&lt;span style=&quot; font-size:8pt;&quot;&gt;Save(Group)&lt;/span&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;&lt;span style=&quot; font-size:8pt;&quot;&gt;Save(Group)&lt;/span&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>Label Image</source>
        <translation>Label Image</translation>
    </message>
    <message>
        <source>Opacity</source>
        <translation>Opacity</translation>
    </message>
    <message>
        <source>Apply</source>
        <translation>Apply</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>DeleteAll</source>
        <translation>DeleteAll</translation>
    </message>
    <message>
        <source>&amp;Open</source>
        <translation>&amp;Open</translation>
    </message>
    <message>
        <source>open file</source>
        <translation>open file</translation>
    </message>
    <message>
        <source>&amp;Load Mask Image</source>
        <translation>&amp;Load Mask Image</translation>
    </message>
    <message>
        <source>Load Mask Image</source>
        <translation>Load Mask Image</translation>
    </message>
    <message>
        <source>&amp;Save</source>
        <translation>&amp;Save</translation>
    </message>
    <message>
        <source>save file</source>
        <translation>save file</translation>
    </message>
    <message>
        <source>%Save All</source>
        <translation>%Save All</translation>
    </message>
    <message>
        <source>save all file</source>
        <translation>save all file</translation>
    </message>
    <message>
        <source>Ctrl+Shift+S</source>
        <translation>Ctrl+Shift+S</translation>
    </message>
    <message>
        <source>&amp;Undo</source>
        <translation>&amp;Undo</translation>
    </message>
    <message>
        <source>undo</source>
        <translation>undo</translation>
    </message>
    <message>
        <source>Display Annotation</source>
        <translation>Display Annotation</translation>
    </message>
    <message>
        <source>WL/WW</source>
        <translation>WL/WW</translation>
    </message>
    <message>
        <source>Adjust Intensity</source>
        <translation>Adjust Intensity</translation>
    </message>
</context>
<context>
    <name>PdfReport</name>
    <message>
        <source>Warning: the remnant is %1 % of the functional liver, below the threshold of %2 %.</source>
        <translation>Warning: the remnant is %1 % of the functional liver, below the threshold of %2 %.</translation>
    </message>
    <message>
        <source>Warning: tumour %1 lies %2 from the cut, closer than the margin of %3.</source>
        <translation>Warning: tumour %1 lies %2 from the cut, closer than the margin of %3.</translation>
    </message>
    <message>
        <source>Total liver volume: %1</source>
        <translation>Total liver volume: %1</translation>
    </message>
    <message>
        <source>Tumour volume: %1</source>
        <translation>Tumour volume: %1</translation>
    </message>
    <message>
        <source>Functional volume: %1</source>
        <translation>Functional volume: %1</translation>
    </message>
    <message>
        <source>The plan does not cut the liver yet.</source>
        <translation>The plan does not cut the liver yet.</translation>
    </message>
    <message>
        <source>Choose the side to remove.</source>
        <translation>Choose the side to remove.</translation>
    </message>
    <message>
        <source>Resected volume: %1</source>
        <translation>Resected volume: %1</translation>
    </message>
    <message>
        <source>Remnant volume: %1</source>
        <translation>Remnant volume: %1</translation>
    </message>
    <message>
        <source>Functional remnant: %1 (%2 % of functional)</source>
        <translation>Functional remnant: %1 (%2 % of functional)</translation>
    </message>
    <message>
        <source>wholly resected</source>
        <translation>wholly resected</translation>
    </message>
    <message>
        <source>not wholly resected</source>
        <translation>not wholly resected</translation>
    </message>
    <message>
        <source>margin %1</source>
        <translation>margin %1</translation>
    </message>
    <message>
        <source>the cut misses the liver</source>
        <translation>the cut misses the liver</translation>
    </message>
    <message>
        <source>Tumour %1: %2, %3, %4 (slices %5-%6)</source>
        <translation>Tumour %1: %2, %3, %4 (slices %5-%6)</translation>
    </message>
    <message>
        <source>Axial, slice %1 of %2</source>
        <translation>Axial, slice %1 of %2</translation>
    </message>
    <message>
        <source>; the cut in yellow</source>
        <translation>; the cut in yellow</translation>
    </message>
    <message>
        <source>%1: cannot be written (%2)</source>
        <translation>%1: cannot be written (%2)</translation>
    </message>
    <message>
        <source>Liver volume report</source>
        <translation>Liver volume report</translation>
    </message>
    <message>
        <source>Patient: %1   ID: %2</source>
        <translation>Patient: %1   ID: %2</translation>
    </message>
    <message>
        <source>Series date: %1  %2</source>
        <translation>Series date: %1  %2</translation>
    </message>
    <message>
        <source>Report date: %1</source>
        <translation>Report date: %1</translation>
    </message>
    <message>
        <source>Software: %1</source>
        <translation>Software: %1</translation>
    </message>
    <message>
        <source>Volumes</source>
        <translation>Volumes</translation>
    </message>
    <message>
        <source>Liver: %1</source>
        <translation>Liver: %1</translation>
    </message>
    <message>
        <source>Liver without vessels: %1</source>
        <translation>Liver without vessels: %1</translation>
    </message>
    <message>
        <source>Right lobe: %1</source>
        <translation>Right lobe: %1</translation>
    </message>
    <message>
        <source>Right lobe without vessels: %1</source>
        <translation>Right lobe without vessels: %1</translation>
    </message>
    <message>
        <source>Left lobe: %1</source>
        <translation>Left lobe: %1</translation>
    </message>
    <message>
        <source>Left lobe without vessels: %1</source>
        <translation>Left lobe without vessels: %1</translation>
    </message>
    <message>
        <source>Resection plan: %1</source>
        <translation>Resection plan: %1</translation>
    </message>
    <message>
        <source>Thresholds: remnant %1 %, margin %2</source>
        <translation>Thresholds: remnant %1 %, margin %2</translation>
    </message>
    <message>
        <source>No warnings.</source>
        <translation>No warnings.</translation>
    </message>
    <message>
        <source>Warnings</source>
        <translation>Warnings</translation>
    </message>
    <message>
        <source>%1: the report could not be drawn</source>
        <translation>%1: the report could not be drawn</translation>
    </message>
    <message>
        <source>Coronal plane through the liver&apos;s centre</source>
        <translation>Coronal plane through the liver&apos;s centre</translation>
    </message>
</context>
<context>
    <name>PlanPanel</name>
    <message>
        <source>New plan</source>
        <translation>New plan</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>Undo</source>
        <translation>Undo</translation>
    </message>
    <message>
        <source>Take key lines from the division tool</source>
        <translation>Take key lines from the division tool</translation>
    </message>
    <message>
        <source>Draw and edit key lines with Divide (interpolation), then take them into the plan; the labels are not divided.</source>
        <translation>Draw and edit key lines with Divide (interpolation), then take them into the plan; the labels are not divided.</translation>
    </message>
    <message>
        <source>Choose side to remove</source>
        <translation>Choose side to remove</translation>
    </message>
    <message>
        <source>Then click the part of the liver to remove.</source>
        <translation>Then click the part of the liver to remove.</translation>
    </message>
    <message>
        <source>Normal liver (20 %)</source>
        <translation>Normal liver (20 %)</translation>
    </message>
    <message>
        <source>After chemotherapy (30 %)</source>
        <translation>After chemotherapy (30 %)</translation>
    </message>
    <message>
        <source>Cirrhosis (40 %)</source>
        <translation>Cirrhosis (40 %)</translation>
    </message>
    <message>
        <source>Name and ID in the report</source>
        <translation>Name and ID in the report</translation>
    </message>
    <message>
        <source>PDF report...</source>
        <translation>PDF report...</translation>
    </message>
    <message>
        <source>Liver</source>
        <translation>Liver</translation>
    </message>
    <message>
        <source>Smallest remnant</source>
        <translation>Smallest remnant</translation>
    </message>
    <message>
        <source>Smallest margin</source>
        <translation>Smallest margin</translation>
    </message>
    <message>
        <source>Draw a cut plane</source>
        <translation>Draw a cut plane</translation>
    </message>
    <message>
        <source>Drag a line in the coronal or sagittal view: the plan cuts along it, across that view.</source>
        <translation>Drag a line in the coronal or sagittal view: the plan cuts along it, across that view.</translation>
    </message>
</context>
<context>
    <name>morvex::ArchiveNodesDialog</name>
    <message>
        <source>Archive nodes</source>
        <translation>Archive nodes</translation>
    </message>
    <message>
        <source>Add</source>
        <translation>Add</translation>
    </message>
    <message>
        <source>Remove</source>
        <translation>Remove</translation>
    </message>
    <message>
        <source>Test</source>
        <translation>Test</translation>
    </message>
    <message>
        <source>Checks within 10 s whether the node answers (C-ECHO)</source>
        <translation>Checks within 10 s whether the node answers (C-ECHO)</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>AE title</source>
        <translation>AE title</translation>
    </message>
    <message>
        <source>Host</source>
        <translation>Host</translation>
    </message>
    <message>
        <source>Port</source>
        <translation>Port</translation>
    </message>
    <message>
        <source>Port on which this workstation receives the images of a C-MOVE</source>
        <translation>Port on which this workstation receives the images of a C-MOVE</translation>
    </message>
    <message>
        <source>This workstation</source>
        <translation>This workstation</translation>
    </message>
    <message>
        <source>Receive port</source>
        <translation>Receive port</translation>
    </message>
    <message>
        <source>New node</source>
        <translation>New node</translation>
    </message>
    <message>
        <source>Testing %1 ...</source>
        <translation>Testing %1 ...</translation>
    </message>
    <message>
        <source>%1 answers.</source>
        <translation>%1 answers.</translation>
    </message>
    <message>
        <source>%1 does not answer: %2</source>
        <translation>%1 does not answer: %2</translation>
    </message>
    <message>
        <source>Not saved: %1</source>
        <translation>Not saved: %1</translation>
    </message>
</context>
<context>
    <name>morvex::ArchiveQueryDialog</name>
    <message>
        <source>Archive: query and retrieve</source>
        <translation>Archive: query and retrieve</translation>
    </message>
    <message>
        <source>e.g. DOE^J*</source>
        <translation>e.g. DOE^J*</translation>
    </message>
    <message>
        <source>YYYYMMDD</source>
        <translation>YYYYMMDD</translation>
    </message>
    <message>
        <source>e.g. CT</source>
        <translation>e.g. CT</translation>
    </message>
    <message>
        <source>to</source>
        <translation>to</translation>
    </message>
    <message>
        <source>Node</source>
        <translation>Node</translation>
    </message>
    <message>
        <source>Patient name</source>
        <translation>Patient name</translation>
    </message>
    <message>
        <source>Patient ID</source>
        <translation>Patient ID</translation>
    </message>
    <message>
        <source>Study date</source>
        <translation>Study date</translation>
    </message>
    <message>
        <source>Modality</source>
        <translation>Modality</translation>
    </message>
    <message>
        <source>Accession number</source>
        <translation>Accession number</translation>
    </message>
    <message>
        <source>Search</source>
        <translation>Search</translation>
    </message>
    <message>
        <source>Patient / series</source>
        <translation>Patient / series</translation>
    </message>
    <message>
        <source>ID / modality</source>
        <translation>ID / modality</translation>
    </message>
    <message>
        <source>Date / images</source>
        <translation>Date / images</translation>
    </message>
    <message>
        <source>Description</source>
        <translation>Description</translation>
    </message>
    <message>
        <source>Retrieve by C-MOVE (for nodes without C-GET)</source>
        <translation>Retrieve by C-MOVE (for nodes without C-GET)</translation>
    </message>
    <message>
        <source>Retrieve and open</source>
        <translation>Retrieve and open</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>No archive node is set up: add one under Archive nodes.</source>
        <translation>No archive node is set up: add one under Archive nodes.</translation>
    </message>
    <message>
        <source>Dates are written YYYYMMDD, e.g. 20260131.</source>
        <translation>Dates are written YYYYMMDD, e.g. 20260131.</translation>
    </message>
    <message>
        <source>Searching %1 ...</source>
        <translation>Searching %1 ...</translation>
    </message>
    <message numerus="yes">
        <source>%n studies found</source>
        <translation>
            <numerusform>%n studies found</numerusform>
            <numerusform>%n studies found</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>, %n series</source>
        <translation>
            <numerusform>, %n series</numerusform>
            <numerusform>, %n series</numerusform>
        </translation>
    </message>
    <message>
        <source>?</source>
        <translation>?</translation>
    </message>
    <message>
        <source>Series %1</source>
        <translation>Series %1</translation>
    </message>
    <message>
        <source>Choose a series to retrieve.</source>
        <translation>Choose a series to retrieve.</translation>
    </message>
    <message>
        <source>Retrieving %1 ...</source>
        <translation>Retrieving %1 ...</translation>
    </message>
    <message numerus="yes">
        <source>%n images retrieved</source>
        <translation>
            <numerusform>%n images retrieved</numerusform>
            <numerusform>%n images retrieved</numerusform>
        </translation>
    </message>
    <message>
        <source>Cancelling ...</source>
        <translation>Cancelling ...</translation>
    </message>
    <message>
        <source>Cancelled; nothing was kept.</source>
        <translation>Cancelled; nothing was kept.</translation>
    </message>
</context>
<context>
    <name>morvex::ArchiveStoreDialog</name>
    <message>
        <source>Send to archive</source>
        <translation>Send to archive</translation>
    </message>
    <message>
        <source>Add files...</source>
        <translation>Add files...</translation>
    </message>
    <message>
        <source>Send</source>
        <translation>Send</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>No archive node is set up: add one under Archive nodes.</source>
        <translation>No archive node is set up: add one under Archive nodes.</translation>
    </message>
    <message>
        <source>DICOM files to send</source>
        <translation>DICOM files to send</translation>
    </message>
    <message>
        <source>DICOM files and PDF reports (*.dcm *.pdf);;All files (*)</source>
        <translation>DICOM files and PDF reports (*.dcm *.pdf);;All files (*)</translation>
    </message>
    <message>
        <source>Not added: %1</source>
        <translation>Not added: %1</translation>
    </message>
    <message numerus="yes">
        <source>Sending %n files ...</source>
        <translation>
            <numerusform>Sending %n files ...</numerusform>
            <numerusform>Sending %n files ...</numerusform>
        </translation>
    </message>
    <message>
        <source>not sent</source>
        <translation>not sent</translation>
    </message>
    <message>
        <source>Every file was stored.</source>
        <translation>Every file was stored.</translation>
    </message>
</context>
<context>
    <name>morvex::Core</name>
    <message>
        <source>The mask image and the loaded image differ in width or height.</source>
        <translation>The mask image and the loaded image differ in width or height.</translation>
    </message>
    <message>
        <source>A mask whose name fits several slices was not loaded.</source>
        <translation>A mask whose name fits several slices was not loaded.</translation>
    </message>
    <message>
        <source>This file extension cannot be processed.</source>
        <translation>This file extension cannot be processed.</translation>
    </message>
    <message>
        <source>Image load failed - the DICOM header has a problem.</source>
        <translation>Image load failed - the DICOM header has a problem.</translation>
    </message>
    <message>
        <source>Image load failed: the file cannot be read as a slice.</source>
        <translation>Image load failed: the file cannot be read as a slice.</translation>
    </message>
</context>
</TS>
